#include "images.h"

#include <cstdio>
#include <cstring>

#include "core/coredebug.h"
#include "extras_art.h"
#include "finale_art.h"
#include "intro_art.h"
#include "party_art.h"
#include "resources.h"
#include "screen_art.h"
#include "tga.h"
#include "welcome_art.h"

namespace {

const ResourceFile *find_resource(const char *name) {
    for (const ResourceFile &r : kResourceFiles)
        if (std::strcmp(r.name, name) == 0) return &r;
    return nullptr;
}

IndexedImage crop(const IndexedImage &src, int x0, int width) {
    IndexedImage out;
    out.width = width;
    out.height = src.height;
    out.palette = src.palette;
    out.index.resize(size_t(width) * src.height);
    for (int y = 0; y < src.height; y++)
        std::memcpy(&out.index[size_t(y) * width], &src.index[size_t(y) * src.width + x0],
                    size_t(width));
    return out;
}

std::vector<std::uint8_t> grey_of(const Picture &pic) {
    if (!pic.grey.empty()) return pic.grey;
    std::vector<std::uint8_t> g(pic.argb.size());
    for (size_t i = 0; i < g.size(); i++) {
        const std::uint32_t p = pic.argb[i];
        g[i] = std::uint8_t(
            (299 * ((p >> 16) & 255) + 587 * ((p >> 8) & 255) + 114 * (p & 255) + 500) / 1000);
    }
    return g;
}

}  // namespace

bool write_resource(const std::string &outdir, const char *name, const Picture &pic,
                    std::uint64_t *total) {
    const ResourceFile *r = find_resource(name);
    if (!r) {
        core_log(LOG_ERROR, "gen.no_entry", "no resource entry for %s\n", name);
        return false;
    }
    const bool fixedwidth = r->width != 0;
    if ((fixedwidth && pic.width != r->width) || pic.height != r->height) {
        core_log(LOG_ERROR, "gen.wrong_size", "%s: painted %dx%d, expected %dx%d\n", name,
                 pic.width, pic.height, r->width, r->height);
        return false;
    }
    const TgaLayout layout{r->imagetype >= 9, r->topleft};
    std::vector<std::uint8_t> bytes;
    switch (r->imagetype) {
        case 1:
        case 9: {
            const IndexedImage img =
                pic.indexed.index.empty() ? quantize(pic.argb, pic.width, pic.height) : pic.indexed;
            bytes = tga_encode_mapped(img.index.data(), img.width, img.height, img.palette.data(),
                                      int(img.palette.size()), layout);
            break;
        }
        case 2:
        case 10:
            if (pic.argb.size() == size_t(pic.width) * pic.height)
                bytes =
                    tga_encode_truecolor(pic.argb.data(), pic.width, pic.height, r->bits, layout);
            break;
        case 3:
        case 11: {
            const std::vector<std::uint8_t> g = grey_of(pic);
            if (g.size() == size_t(pic.width) * pic.height)
                bytes = tga_encode_grey(g.data(), pic.width, pic.height, layout);
            break;
        }
        default:
            break;
    }
    if (bytes.empty()) {
        core_log(LOG_ERROR, "gen.empty_image", "%s: nothing to encode\n", name);
        return false;
    }
    const std::string path = outdir + "/" + r->file;
    if (!tga_write_file(path.c_str(), bytes)) return false;
    core_log(LOG_PROGRESS, "gen.image", "%-14s %-18s %5d x %-5d %9zu bytes\n", name, r->file,
             pic.width, pic.height, bytes.size());
    if (total) *total += bytes.size();
    return true;
}

bool gen_images(const char *outdir) {
    TextRenderer tr;
    if (!tr.ok()) {
        core_log(LOG_ERROR, "gen.no_font", "%s\n", tr.error());
        return false;
    }
    const std::string dir = outdir;
    std::uint64_t total = 0;
    bool ok = true;
    auto put = [&](const char *name, const Picture &pic) {
        ok = write_resource(dir, name, pic, &total) && ok;
    };

    put("introbg", paint_introbg());
    put("gimbard", paint_gimbard(tr));
    put("presents", paint_presents(tr));
    put("tvframe", paint_tvframe(tr));
    put("intrologo", paint_intrologo(tr));
    put("boxblack", paint_box(false));
    put("boxwhite", paint_box(true));

    put("welcomebg", paint_welcomebg());
    put("bee45", paint_bee45());
    put("offertext", paint_offertext(tr));
    put("location", paint_location(tr));
    put("particleblue", paint_particleblue());

    {
        // The compo background's right half is the events background's left part, so a compo
        // slide followed by the events scene reads as one pan; one palette serves both.
        const Picture pano = paint_panorama(tr);
        const IndexedImage all = quantize(pano.argb, pano.width, pano.height);
        Picture compo, events;
        compo.width = kCompoWidth;
        compo.height = events.height = pano.height;
        compo.indexed = crop(all, 0, kCompoWidth);
        events.width = pano.width - kEventsOffset;
        events.indexed = crop(all, kEventsOffset, events.width);
        put("compobg", compo);
        put("eventsbg", events);
    }
    put("bars", paint_bars());
    put("bestdemo", paint_badge(tr, true));
    put("bestcompo", paint_badge(tr, false));
    put("particle", paint_particle());
    put("whytext", paint_whytext(tr));
    put("whyaap", paint_whyaap(tr));
    put("whyenjoy", paint_whyenjoy(tr));

    put("screenbg", paint_screenbg(tr));
    put("screen", paint_screen(tr));
    put("recapwhen", paint_recap(tr, RecapCard::When));
    put("recapwhere", paint_recap(tr, RecapCard::Where));
    put("recaponline", paint_recap(tr, RecapCard::Online));
    put("endlogo", paint_endlogo(tr));
    put("endtitle", paint_endtitle(tr));

    put("honeycomb", paint_honeycomb());
    put("noise", paint_noise());
    put("ramp", paint_ramp());
    put("vignette", paint_vignette());
    put("credits", paint_credits(tr));
    put("emblem", paint_emblem());
    put("font1", paint_font(tr, true));
    put("font2", paint_font(tr, false));
    put("cursor", paint_cursor());

    core_log(LOG_PROGRESS, "gen.images_total", "images: %llu bytes\n",
             static_cast<unsigned long long>(total));
    return ok;
}
