// Synthesises the production's music: a 125 bpm track in A minor with drums, bass, pads,
// arpeggio, two leads and bells. Eighty bars: intro (0-7), build-up (8-15), main part A
// (16-31), main part B (32-47), breakdown (48-55), main part C (56-71) and an outro (72-79)
// whose last chord dies away before the end. The main parts turn every eight bars: the last
// bar of each phrase is a tom fill, a snare roll or a break, and the second pass of each
// melody brings in a second lead a third below. Every instrument is rendered note by note into
// float buses, the buses go through a ping-pong delay and a reverb, and the sum is limited
// and written as 16-bit PCM. Only basic arithmetic is used (no C library maths, no clock),
// so the same bytes come out on every run.
#include "music.h"
#include "wav.h"

#include "core/coredebug.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static_assert(kMusicRate * 60 % kMusicBpm == 0, "a beat must be a whole number of frames");

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFs = kMusicRate;
constexpr int kBeat = kMusicBeatFrames;
constexpr int kBar = kMusicBarFrames;
constexpr int kStep = kBeat / 4;  // a sixteenth note
constexpr int kTotal = int(kMusicFrames);

// ---------------------------------------------------------------------------------------
// Arithmetic helpers

// Sine by range reduction and a Taylor series (error below 1e-9).
double sine(double x) {
    const double turns = x / (2 * kPi);
    const double k = double((long long)(turns + (turns >= 0 ? 0.5 : -0.5)));
    x -= k * 2 * kPi;
    if (x > kPi / 2)
        x = kPi - x;
    else if (x < -kPi / 2)
        x = -kPi - x;
    const double x2 = x * x;
    return x * (1 - x2 / 6 *
                        (1 - x2 / 20 *
                                 (1 - x2 / 42 * (1 - x2 / 72 * (1 - x2 / 110 * (1 - x2 / 156))))));
}

double cosine(double x) { return sine(x + kPi / 2); }

// One cycle of a sine for a phase in turns, from a table with linear interpolation.
constexpr int kSineSize = 4096;

struct SineTable {
    float v[kSineSize + 1];
    SineTable() {
        for (int i = 0; i <= kSineSize; ++i) v[i] = float(sine(2 * kPi * i / kSineSize));
    }
};

double sine01(double phase) {
    static const SineTable table;
    double x = phase * kSineSize;
    long long i = (long long)x;
    if (x < 0 && double(i) != x) --i;
    const double frac = x - double(i);
    const int k = int(i & (kSineSize - 1));
    return table.v[k] + (table.v[k + 1] - table.v[k]) * frac;
}

// Per-sample factor that makes an exponential decay fall by 60 dB in `seconds`.
double decay(double seconds) { return 1.0 - 6.907755 / (seconds * kFs); }

// Smooth saturation: linear for small values, never beyond +-1.
double softclip(double x) {
    if (x > 3) return 1;
    if (x < -3) return -1;
    const double x2 = x * x;
    return x * (27 + x2) / (27 + 9 * x2);
}

// Frequency of a MIDI note (69 = A 440 Hz) from a table of equal-tempered semitones.
double note_hz(int note) {
    static const double kRatio[12] = {1.0,
                                      1.0594630943592953,
                                      1.122462048309373,
                                      1.189207115002721,
                                      1.2599210498948732,
                                      1.3348398541700344,
                                      1.4142135623730951,
                                      1.4983070768766815,
                                      1.5874010519681994,
                                      1.681792830507429,
                                      1.7817974362806785,
                                      1.887748625363387};
    int d = note - 69;
    double f = 440.0;
    while (d < 0) {
        d += 12;
        f *= 0.5;
    }
    while (d >= 12) {
        d -= 12;
        f *= 2.0;
    }
    return f * kRatio[d];
}

// Detuning by a few cents (first-order, exact enough for chorus widths).
double cents(double c) { return 1.0 + c * 0.000577623; }

// Small, seeded noise source (xorshift32).
struct Rng {
    std::uint32_t s;
    explicit Rng(std::uint32_t seed) : s(seed ? seed : 0x9e3779b9u) {}
    double noise() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return double(s) / 2147483648.0 - 1.0;
    }
};

// Band-limited sawtooth (polyBLEP).
double blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1;
    }
    if (t > 1 - dt) {
        t = (t - 1) / dt;
        return t * t + t + t + 1;
    }
    return 0;
}

struct Saw {
    double ph = 0, inc = 0;
    double next() {
        const double v = 2 * ph - 1 - blep(ph, inc);
        ph += inc;
        if (ph >= 1) ph -= 1;
        return v;
    }
};

// Band-limited square built from two offset sawtooth edges.
struct Square {
    double ph = 0, inc = 0;
    double next() {
        double t2 = ph + 0.5;
        if (t2 >= 1) t2 -= 1;
        const double v = (ph < 0.5 ? 1.0 : -1.0) + blep(ph, inc) - blep(t2, inc);
        ph += inc;
        if (ph >= 1) ph -= 1;
        return v;
    }
};

// State-variable filter (trapezoidal integration), stable at any cutoff.
struct Svf {
    double ic1 = 0, ic2 = 0, a1 = 0, a2 = 0, a3 = 0, k = 1;
    double low = 0, band = 0, high = 0;
    void set(double fc, double q) {
        if (fc < 20) fc = 20;
        if (fc > 0.45 * kFs) fc = 0.45 * kFs;
        const double w = kPi * fc / kFs;
        const double g = sine(w) / cosine(w);
        k = 1 / q;
        a1 = 1 / (1 + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    void run(double v0) {
        const double v3 = v0 - ic2;
        const double v1 = a1 * ic1 + a2 * v3;
        const double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2 * v1 - ic1;
        ic2 = 2 * v2 - ic2;
        low = v2;
        band = v1;
        high = v0 - k * v1 - v2;
    }
};

// Short linear ramp at both ends of a voice so that no note starts or stops with a step.
double edges(int i, int n, int ramp) {
    double g = 1;
    if (i < ramp) g = double(i) / ramp;
    if (n - i < ramp) g *= double(n - i) / ramp;
    return g;
}

// ---------------------------------------------------------------------------------------
// Mixing buses

struct Bus {
    std::vector<float> l, r;
    explicit Bus(int n) : l(n), r(n) {}
};

// Where a voice goes: its left and right gains, its send levels and how much the kick's
// side-chain pumps it (0 none, 1 full).
struct Route {
    double gl = 0.7071, gr = 0.7071;
    double rev = 0, dly = 0, duck = 0;
};

// Constant-power pan, -1 left .. 1 right.
Route pan(double p, double rev = 0, double dly = 0, double duck = 0) {
    const double a = (p + 1) * kPi / 4;
    Route r;
    r.gl = cosine(a);
    r.gr = sine(a);
    r.rev = rev;
    r.dly = dly;
    r.duck = duck;
    return r;
}

struct Mix {
    Bus dry, rev, dly;
    std::vector<float> duck;  // gain of the kick's side-chain at full depth
    explicit Mix(int n) : dry(n), rev(n), dly(n), duck(n, 1.0f) {}

    // Adds a stereo sample of a voice that started at t0, i frames in.
    void out(int t0, int i, double l, double r, const Route &rt) {
        const int at = t0 + i;
        if (at < 0 || at >= kTotal) return;
        const double d = 1 - rt.duck * (1 - duck[at]);
        l *= rt.gl * d;
        r *= rt.gr * d;
        dry.l[at] += float(l);
        dry.r[at] += float(r);
        rev.l[at] += float(l * rt.rev);
        rev.r[at] += float(r * rt.rev);
        dly.l[at] += float(l * rt.dly);
        dly.r[at] += float(r * rt.dly);
    }
    void out(int t0, int i, double v, const Route &rt) { out(t0, i, v, v, rt); }
};

// ---------------------------------------------------------------------------------------
// Instruments

void kick(Mix &m, int t0, double vel) {
    const int n = int(0.42 * kFs);
    const double kp = decay(0.22), ka = decay(0.55);
    Rng rng(std::uint32_t(t0) * 2654435761u + 17);
    double ph = 0, pe = 1, ae = 1;
    const Route rt = pan(0);
    for (int i = 0; i < n; ++i) {
        ph += (46 + 120 * pe) / kFs;
        if (ph >= 1) ph -= 1;
        pe *= kp;
        double v = softclip(1.7 * sine01(ph) * ae) * 0.85;
        ae *= ka;
        if (i < 180) v += rng.noise() * 0.22 * (1 - i / 180.0);
        m.out(t0, i, v * vel * edges(i, n, 40), rt);
    }
}

void clap(Mix &m, int t0, double vel) {
    const int n = int(0.4 * kFs);
    const int burst = int(0.011 * kFs);
    Rng rng(std::uint32_t(t0) * 2246822519u + 3);
    Svf bp;
    bp.set(1300, 1.2);
    const double kt = decay(0.2), kb = decay(0.07);
    double tail = 1, body = 1, bph = 0;
    const Route rt = pan(0.05, 0.35);
    for (int i = 0; i < n; ++i) {
        double e;
        if (i < 3 * burst) {
            const double f = 1 - double(i % burst) / burst;
            e = f * f;
        } else {
            e = tail;
            tail *= kt;
        }
        bp.run(rng.noise());
        bph += 185 / kFs;
        const double v = bp.band * e * 1.6 + sine01(bph) * body * 0.3;
        body *= kb;
        m.out(t0, i, v * vel * edges(i, n, 30), rt);
    }
}

void snare(Mix &m, int t0, double vel) {
    const int n = int(0.25 * kFs);
    Rng rng(std::uint32_t(t0) * 3266489917u + 5);
    Svf hp;
    hp.set(900, 0.8);
    const double kn = decay(0.16), kb = decay(0.06);
    double en = 1, eb = 1, ph = 0;
    const Route rt = pan(-0.05, 0.3);
    for (int i = 0; i < n; ++i) {
        hp.run(rng.noise());
        ph += 205 / kFs;
        const double v = hp.high * en * 0.55 + sine01(ph) * eb * 0.4;
        en *= kn;
        eb *= kb;
        m.out(t0, i, v * vel * edges(i, n, 30), rt);
    }
}

// Metallic noise: six detuned squares and white noise, high-passed.
void hat(Mix &m, int t0, double vel, double where, double seconds) {
    static const double kHz[6] = {2.05, 3.04, 3.69, 5.23, 5.40, 8.00};
    const int n = int(seconds * 1.2 * kFs);
    Rng rng(std::uint32_t(t0) * 668265263u + 7);
    double ph[6] = {0, 0, 0, 0, 0, 0};
    Svf hp;
    hp.set(7200, 0.9);
    const double ke = decay(seconds);
    double e = 1;
    const Route rt = pan(where, 0.12);
    for (int i = 0; i < n; ++i) {
        double x = rng.noise() * 0.6;
        // Plain squares: their aliasing disappears in the noise.
        for (int j = 0; j < 6; ++j) {
            ph[j] += kHz[j] * 170 / kFs;
            if (ph[j] >= 1) ph[j] -= 1;
            x += ph[j] < 0.5 ? 0.08 : -0.08;
        }
        hp.run(x);
        m.out(t0, i, hp.high * e * vel * 1.8 * edges(i, n, 20), rt);
        e *= ke;
    }
}

void crash(Mix &m, int t0, double vel) {
    const int n = int(2.4 * kFs);
    Rng rl(std::uint32_t(t0) * 374761393u + 11), rr(std::uint32_t(t0) * 374761393u + 13);
    Svf hl, hr;
    hl.set(4500, 0.7);
    hr.set(4500, 0.7);
    const double ke = decay(2.2);
    double e = 1;
    Route rt;
    rt.gl = rt.gr = 1;
    rt.rev = 0.3;
    for (int i = 0; i < n; ++i) {
        hl.run(rl.noise());
        hr.run(rr.noise());
        const double g = e * vel * 0.35 * edges(i, n, 60);
        m.out(t0, i, hl.high * g, hr.high * g, rt);
        e *= ke;
    }
}

// Noise swept upwards through a band-pass, growing louder, cut at the next downbeat.
void riser(Mix &m, int t0, int n, double vel) {
    Rng rl(std::uint32_t(t0) * 2654435761u + 19), rr(std::uint32_t(t0) * 2654435761u + 23);
    Svf bl, br;
    Route rt;
    rt.gl = rt.gr = 1;
    rt.rev = 0.4;
    for (int i = 0; i < n; ++i) {
        const double x = double(i) / n;
        if (i % 32 == 0) {
            bl.set(250 + 7500 * x * x, 2.5);
            br.set(260 + 7600 * x * x, 2.5);
        }
        bl.run(rl.noise());
        br.run(rr.noise());
        const double g = (0.04 + 0.5 * x * x) * vel * edges(i, n, 150);
        m.out(t0, i, bl.band * g, br.band * g, rt);
    }
}

void bass(Mix &m, int t0, int len, int note, double vel) {
    const double f = note_hz(note);
    const int rel = int(0.03 * kFs);
    const int n = len + rel;
    Saw a, b;
    a.inc = f / kFs;
    b.inc = f * cents(7) / kFs;
    b.ph = 0.3;
    double sub = 0;
    Svf lp;
    double fe = 1;
    const double kf = decay(0.3);
    const Route rt = pan(0, 0, 0, 0.75);
    for (int i = 0; i < n; ++i) {
        if (i % 16 == 0) lp.set(180 + 1700 * fe * vel, 1.4);
        fe *= kf;
        lp.run(0.5 * (a.next() + b.next()));
        sub += f / kFs;
        if (sub >= 1) sub -= 1;
        double amp = i < 180 ? i / 180.0 : 1;
        if (i >= len) amp *= 1 - double(i - len) / rel;
        m.out(t0, i, (lp.low * 0.5 + sine01(sub) * 0.42) * amp * vel, rt);
    }
}

// Cutoff of the pad's low-pass along the track: opens through the intro, dips for the
// breakdown and closes during the outro.
double pad_cutoff(int at) {
    const double bar = double(at) / kBar;
    if (bar < 8) {
        const double x = bar / 8;
        return 300 + 1900 * x * x;
    }
    if (bar < 48) return 2300;
    if (bar < 56) return 1400 + 1600 * (bar - 48) / 8;
    if (bar < 72) return 3000;
    return 3000 - 2300 * (bar - 72) / 8;
}

// A sustained chord: two detuned sawtooths per note, one on each side.
void pad(Mix &m, int t0, int len, const int *notes, int count, double vel) {
    const int att = int(0.35 * kFs), rel = int(0.8 * kFs);
    const int n = len + rel;
    Saw sl[4], sr[4];
    for (int j = 0; j < count; ++j) {
        const double f = note_hz(notes[j]);
        sl[j].inc = f * cents(-9) / kFs;
        sr[j].inc = f * cents(9) / kFs;
        sl[j].ph = 0.13 * j;
        sr[j].ph = 0.57 + 0.11 * j;
    }
    Svf fl, fr;
    Route rt;
    rt.gl = rt.gr = 1;
    rt.rev = 0.45;
    rt.duck = 0.45;
    for (int i = 0; i < n; ++i) {
        if (i % 32 == 0) {
            const double fc = pad_cutoff(t0 + i);
            fl.set(fc, 0.9);
            fr.set(fc * 1.03, 0.9);
        }
        double l = 0, r = 0;
        for (int j = 0; j < count; ++j) {
            l += sl[j].next();
            r += sr[j].next();
        }
        fl.run(l);
        fr.run(r);
        double amp = i < att ? double(i) / att : 1;
        if (i >= len) {
            const double x = 1 - double(i - len) / rel;
            amp *= x * x;
        }
        amp *= 0.075 * vel;
        m.out(t0, i, fl.low * amp, fr.low * amp, rt);
    }
}

// Short plucked note of the arpeggio; `bright` scales how far its filter opens.
void pluck(Mix &m, int t0, int note, double vel, double where, double bright) {
    const double f = note_hz(note);
    const int n = int(0.4 * kFs);
    Saw s;
    Square q;
    s.inc = f / kFs;
    q.inc = f * cents(4) / kFs;
    Svf lp;
    double fe = 1, ae = 1;
    const double kf = decay(0.18), ka = decay(0.4);
    const Route rt = pan(where, 0.2, 0.45, 0.6);
    for (int i = 0; i < n; ++i) {
        if (i % 16 == 0) lp.set(300 + 4200 * bright * fe, 1.6);
        fe *= kf;
        lp.run(0.6 * s.next() + 0.4 * q.next());
        m.out(t0, i, lp.low * ae * vel * edges(i, n, 90), rt);
        ae *= ka;
    }
}

// Lead voice: two detuned sawtooths spread left and right, a square an octave down,
// delayed vibrato.
void lead(Mix &m, int t0, int len, int note, double vel) {
    const double f = note_hz(note);
    const int rel = int(0.16 * kFs);
    const int n = len + rel;
    Saw a, b;
    Square q;
    b.ph = 0.5;
    Svf fl, fr;
    double fe = 1, vph = 0;
    const double kf = decay(0.5);
    Route rt;
    rt.gl = rt.gr = 1;
    rt.rev = 0.3;
    rt.dly = 0.3;
    rt.duck = 0.2;
    const int vstart = int(0.18 * kFs), vramp = int(0.35 * kFs);
    for (int i = 0; i < n; ++i) {
        double depth = 0;
        if (i > vstart) depth = i - vstart < vramp ? double(i - vstart) / vramp : 1;
        vph += 5.3 / kFs;
        if (vph >= 1) vph -= 1;
        const double vib = 1 + 0.0045 * depth * sine01(vph);
        a.inc = f * cents(-6) * vib / kFs;
        b.inc = f * cents(6) * vib / kFs;
        q.inc = f * 0.5 * vib / kFs;
        if (i % 16 == 0) {
            const double fc = 1800 + 2600 * fe;
            fl.set(fc, 1.1);
            fr.set(fc, 1.1);
        }
        fe *= kf;
        const double sub = q.next() * 0.35, va = a.next(), vb = b.next();
        fl.run(va * 0.8 + vb * 0.2 + sub);
        fr.run(va * 0.2 + vb * 0.8 + sub);
        double amp = i < 260 ? i / 260.0 : 1;
        if (i >= len) amp *= 1 - double(i - len) / rel;
        amp *= 0.2 * vel;
        m.out(t0, i, fl.low * amp, fr.low * amp, rt);
    }
}

// Second lead: a hollow square and a sawtooth through a resonant low-pass, set to one side
// so that it answers the main lead instead of doubling it.
void lead2(Mix &m, int t0, int len, int note, double vel, double where) {
    const double f = note_hz(note);
    const int rel = int(0.12 * kFs);
    const int n = len + rel;
    Square q;
    Saw s;
    q.inc = f / kFs;
    s.inc = f * cents(-5) / kFs;
    Svf lp;
    double fe = 1;
    const double kf = decay(0.3);
    const Route rt = pan(where, 0.25, 0.35, 0.3);
    for (int i = 0; i < n; ++i) {
        if (i % 16 == 0) lp.set(700 + 2400 * fe, 2.2);
        fe *= kf;
        lp.run(0.6 * q.next() + 0.4 * s.next());
        double amp = i < 200 ? i / 200.0 : 1;
        if (i >= len) amp *= 1 - double(i - len) / rel;
        m.out(t0, i, lp.low * amp * 0.17 * vel, rt);
    }
}

// Tom: a sine falling in pitch towards `hz`, with a short noise attack.
void tom(Mix &m, int t0, double hz, double vel, double where) {
    const int n = int(0.32 * kFs);
    const double kp = decay(0.1), ka = decay(0.28);
    Rng rng(std::uint32_t(t0) * 2246822519u + 29);
    double ph = 0, pe = 1, ae = 1;
    const Route rt = pan(where, 0.25);
    for (int i = 0; i < n; ++i) {
        ph += hz * (1 + 0.7 * pe) / kFs;
        if (ph >= 1) ph -= 1;
        pe *= kp;
        double v = sine01(ph) * ae;
        ae *= ka;
        if (i < 150) v += rng.noise() * 0.2 * (1 - i / 150.0);
        m.out(t0, i, v * 0.75 * vel * edges(i, n, 30), rt);
    }
}

// Electric-piano bell by phase modulation: a 1:2 modulator whose depth falls off quickly.
void bell(Mix &m, int t0, int note, double vel, double where, double seconds = 2.4) {
    const double f = note_hz(note);
    const int n = int(seconds * kFs);
    double pc = 0, pm = 0, ie = 1, ae = 1;
    const double ki = decay(0.9), ka = decay(seconds);
    const Route rt = pan(where, 0.45, 0.3);
    for (int i = 0; i < n; ++i) {
        pc += f / kFs;
        if (pc >= 1) pc -= 1;
        pm += 2 * f / kFs;
        if (pm >= 1) pm -= 1;
        const double v = sine01(pc + 0.2546 * ie * sine01(pm));
        ie *= ki;
        m.out(t0, i, v * ae * 0.22 * vel * edges(i, n, 130), rt);
        ae *= ka;
    }
}

// ---------------------------------------------------------------------------------------
// Effects

// Ping-pong delay of three sixteenths: the input enters on the left, echoes alternate.
void run_delay(Mix &m) {
    const int d = 3 * kStep;
    std::vector<float> bl(d), br(d);
    double ll = 0, lr = 0;
    const double fb = 0.45;
    int p = 0;
    for (int i = 0; i < kTotal; ++i) {
        const double in = 0.5 * (m.dly.l[i] + m.dly.r[i]);
        const double ol = bl[p], orr = br[p];
        ll += (ol - ll) * 0.45;
        lr += (orr - lr) * 0.45;
        bl[p] = float(in + fb * lr);
        br[p] = float(fb * ll);
        if (++p == d) p = 0;
        m.dry.l[i] += float(ol * 0.55);
        m.dry.r[i] += float(orr * 0.55);
        m.rev.l[i] += float(ol * 0.2);
        m.rev.r[i] += float(orr * 0.2);
    }
}

struct Comb {
    std::vector<float> buf;
    int p = 0;
    float store = 0;
    explicit Comb(int n) : buf(n) {}
    float run(float in, float fb, float damp) {
        const float o = buf[p];
        store = o * (1 - damp) + store * damp;
        buf[p] = in + store * fb;
        if (++p == int(buf.size())) p = 0;
        return o;
    }
};

struct Allpass {
    std::vector<float> buf;
    int p = 0;
    explicit Allpass(int n) : buf(n) {}
    float run(float in) {
        const float b = buf[p];
        buf[p] = in + b * 0.5f;
        if (++p == int(buf.size())) p = 0;
        return b - in;
    }
};

// A stereo hall: eight damped combs and four all-passes per side, the right side's delays
// slightly longer for width.
void run_reverb(Mix &m) {
    static const int kComb[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int kAll[4] = {556, 441, 341, 225};
    const int spread = 23;
    std::vector<Comb> cl, cr;
    std::vector<Allpass> al, ar;
    for (int c : kComb) {
        cl.emplace_back(c);
        cr.emplace_back(c + spread);
    }
    for (int a : kAll) {
        al.emplace_back(a);
        ar.emplace_back(a + spread);
    }
    const float fb = 0.86f, damp = 0.3f;
    for (int i = 0; i < kTotal; ++i) {
        const float in = (m.rev.l[i] + m.rev.r[i]) * 0.012f;
        float l = 0, r = 0;
        for (int j = 0; j < 8; ++j) {
            l += cl[j].run(in, fb, damp);
            r += cr[j].run(in, fb, damp);
        }
        for (int j = 0; j < 4; ++j) {
            l = al[j].run(l);
            r = ar[j].run(r);
        }
        m.dry.l[i] += l;
        m.dry.r[i] += r;
    }
}

// ---------------------------------------------------------------------------------------
// The score

enum Chord { kAm, kF, kC, kG, kEm, kE, kChords };

const int kVoicing[kChords][4] = {{57, 60, 64, 67}, {53, 57, 60, 64}, {55, 60, 64, 67},
                                  {55, 59, 62, 67}, {55, 59, 64, 67}, {56, 59, 64, 68}};
const int kRoot[kChords] = {45, 41, 48, 43, 40, 40};

Chord chord_of(int bar) {
    static const Chord kMain[4] = {kAm, kF, kC, kG};
    static const Chord kBreak[8] = {kF, kG, kEm, kAm, kF, kG, kC, kE};
    if (bar < 8) return kMain[(bar / 2) % 4];
    if (bar >= 48 && bar < 56) return kBreak[bar - 48];
    if (bar >= 78) return kAm;
    return kMain[bar % 4];
}

// How the last bar of a phrase leads into the next: the drums stop short before a drop,
// toms or a snare roll turn the phrase, a break takes kick and bass out for the bar.
enum class Turn { None, Drop, Toms, Roll, Break };

Turn turn_of(int bar) {
    switch (bar) {
        case 15:
        case 47:
            return Turn::Drop;
        case 23:
            return Turn::Toms;
        case 31:
            return Turn::Roll;
        case 39:
            return Turn::Break;
        default:
            return Turn::None;
    }
}

// Beats on which kick and bass rest.
bool rests(int bar, int beat) {
    switch (turn_of(bar)) {
        case Turn::Drop:
            return beat >= 2;
        case Turn::Toms:
        case Turn::Roll:
            return beat == 3;
        case Turn::Break:
            return true;
        default:
            return false;
    }
}

// The note two steps down the A minor scale: a diatonic third below (a minor third below
// a note outside the scale).
int third_below(int note) {
    static const int kScale[7] = {0, 2, 3, 5, 7, 8, 10};  // semitones above A
    const int rel = ((note - 57) % 12 + 12) % 12;
    for (int i = 0; i < 7; ++i)
        if (kScale[i] == rel) return note - rel + kScale[(i + 5) % 7] - (i < 2 ? 12 : 0);
    return note - 3;
}

// A melody note: bar within the phrase, start and length in sixteenths, MIDI note.
struct Tone {
    int bar, step, len, note;
};

const Tone kMelodyA[] = {
    {0, 0, 3, 76},  {0, 3, 3, 72}, {0, 6, 2, 69},  {0, 8, 2, 72},  {0, 10, 2, 76}, {0, 12, 4, 74},
    {1, 0, 3, 72},  {1, 3, 3, 69}, {1, 6, 2, 65},  {1, 8, 2, 69},  {1, 10, 2, 72}, {1, 12, 2, 74},
    {1, 14, 2, 72}, {2, 0, 3, 67}, {2, 3, 3, 72},  {2, 6, 4, 76},  {2, 10, 2, 79}, {2, 12, 4, 76},
    {3, 0, 6, 74},  {3, 6, 2, 71}, {3, 8, 4, 74},  {3, 12, 4, 79}, {4, 0, 3, 76},  {4, 3, 3, 72},
    {4, 6, 2, 69},  {4, 8, 2, 72}, {4, 10, 2, 76}, {4, 12, 4, 81}, {5, 0, 3, 79},  {5, 3, 3, 77},
    {5, 6, 2, 76},  {5, 8, 2, 77}, {5, 10, 2, 76}, {5, 12, 4, 72}, {6, 0, 4, 76},  {6, 4, 2, 74},
    {6, 6, 2, 72},  {6, 8, 4, 74}, {6, 12, 4, 76}, {7, 0, 8, 74},  {7, 8, 4, 71},  {7, 12, 4, 67}};

const Tone kMelodyB[] = {
    {0, 0, 6, 81}, {0, 6, 2, 79}, {0, 8, 8, 76}, {1, 0, 6, 77},  {1, 6, 2, 76},  {1, 8, 8, 72},
    {2, 0, 6, 79}, {2, 6, 2, 76}, {2, 8, 4, 72}, {2, 12, 4, 74}, {3, 0, 12, 74}, {3, 12, 4, 71},
    {4, 0, 6, 81}, {4, 6, 2, 83}, {4, 8, 8, 84}, {5, 0, 6, 84},  {5, 6, 2, 81},  {5, 8, 8, 77},
    {6, 0, 6, 79}, {6, 6, 2, 81}, {6, 8, 4, 79}, {6, 12, 4, 76}, {7, 0, 16, 74}};

const Tone kMelodyBreak[] = {{0, 0, 8, 72},  {0, 8, 8, 69},  {1, 0, 8, 71},  {1, 8, 8, 74},
                             {2, 0, 12, 76}, {2, 12, 4, 71}, {3, 0, 16, 72}, {4, 0, 4, 72},
                             {4, 4, 4, 74},  {4, 8, 8, 76},  {5, 0, 8, 74},  {5, 8, 8, 79},
                             {6, 0, 12, 76}, {6, 12, 4, 72}, {7, 0, 8, 71},  {7, 8, 8, 68}};

int at_bar(int bar, int step = 0) { return bar * kBar + step * kStep; }

// Plays an eight-bar phrase, repeated over `bars` bars from bar `from`: play(start, length
// in frames, note) for each of its tones.
template <int N, class Play>
void phrase(const Tone (&tones)[N], int from, int bars, Play play) {
    for (int rep = 0; rep * 8 < bars; ++rep)
        for (const Tone &t : tones) {
            const int bar = from + rep * 8 + t.bar;
            if (bar < from + bars) play(at_bar(bar, t.step), t.len * kStep, t.note);
        }
}

// Side-chain gain: a dip right after every kick, recovering over a quarter of a second.
void build_duck(Mix &m, const std::vector<int> &kicks) {
    const int attack = 90, hold = int(0.25 * kFs);
    const double floor = 0.25;
    for (int k : kicks) {
        for (int i = 0; i < hold && k + i < kTotal; ++i) {
            double g;
            if (i < attack) {
                g = 1 - (1 - floor) * double(i) / attack;
            } else {
                const double x = double(i - attack) / (hold - attack);
                g = floor + (1 - floor) * x * x * (3 - 2 * x);
            }
            float &d = m.duck[k + i];
            if (float(g) < d) d = float(g);
        }
    }
}

// The drums of the whole track, as onset lists, then rendered.
void drums(Mix &m) {
    std::vector<int> kicks;
    for (int bar = 0; bar < kMusicBars; ++bar) {
        const bool build = bar >= 8 && bar < 16,
                   mainpart = (bar >= 16 && bar < 48) || (bar >= 56 && bar < 72);
        const bool outro_beat = bar >= 72 && bar < 76;
        for (int beat = 0; beat < 4; ++beat) {
            const int t = at_bar(bar, beat * 4);
            // Four on the floor, leaving a gap before the drops.
            bool k = build || mainpart || outro_beat;
            if (rests(bar, beat)) k = false;
            if (bar == 78 && beat == 0) k = true;
            if (k) kicks.push_back(t);
            // Claps on two and four; a fill or a drop takes the last one.
            const Turn turn = turn_of(bar);
            if (((bar >= 12 && bar < 16) || mainpart || (bar >= 72 && bar < 75)) && (beat & 1) &&
                !(turn != Turn::None && turn != Turn::Break && beat == 3))
                clap(m, t, bar < 16 ? 0.55 + 0.05 * (bar - 12) : 0.8);
            // Hats: off-beat eighths in quiet parts, sixteenths in the driving ones.
            const bool offbeats =
                (bar >= 4 && bar < 8) || (bar >= 52 && bar < 56) || (bar >= 76 && bar < 78);
            const bool sixteenths = build || mainpart || outro_beat;
            if (offbeats) hat(m, t + 2 * kStep, bar < 8 ? 0.25 + 0.04 * (bar - 4) : 0.4, 0.3, 0.12);
            if (sixteenths) {
                for (int s = 0; s < 4; ++s) {
                    const double accent = s == 2 ? 0.5 : (s == 0 ? 0.28 : 0.2);
                    const double level = build ? 0.5 + 0.06 * (bar - 8) : 1.0;
                    hat(m, t + s * kStep, accent * level, s & 1 ? -0.35 : 0.3,
                        s == 2 ? 0.12 : 0.07);
                }
                if (mainpart && bar >= 20) hat(m, t + 2 * kStep, 0.2, -0.1, 0.4);  // open hat
            }
        }
    }
    // Section accents: crashes on the downbeats that open a part.
    for (int bar : {8, 16, 24, 32, 40, 48, 56, 64, 72, 78})
        crash(m, at_bar(bar), bar == 8 || bar == 78 ? 0.5 : 0.9);
    // Snare rolls and risers into the drops, a fill into the breakdown.
    for (int from : {14, 54}) {
        riser(m, at_bar(from), 2 * kBar, 0.7);
        for (int s = 0; s < 32; s += 2) snare(m, at_bar(from, s), 0.25 + 0.012 * s);
        for (int s = 0; s < 16; ++s) snare(m, at_bar(from + 1, s), 0.45 + 0.025 * s);
    }
    for (int s = 8; s < 16; ++s) snare(m, at_bar(47, s), 0.4 + 0.05 * (s - 8));
    // The turns inside the main parts: toms falling across the stereo field, a snare roll
    // into a gap, and a break under a one-bar riser.
    for (int s = 8; s < 16; ++s)
        tom(m, at_bar(23, s), 190 - 12 * (s - 8), 0.6 + 0.05 * (s - 8), 0.5 - 0.14 * (s - 8));
    for (int s = 4; s < 12; ++s) snare(m, at_bar(31, s), 0.3 + 0.06 * (s - 4));
    for (int s = 0; s < 4; ++s) snare(m, at_bar(31, 12 + s), 0.8);
    riser(m, at_bar(39), kBar, 0.9);
    for (int s = 12; s < 16; ++s) tom(m, at_bar(39, s), 150 - 15 * (s - 12), 0.7, 0);
    build_duck(m, kicks);
    for (int t : kicks) kick(m, t, 1.0);
}

void bassline(Mix &m) {
    for (int bar = 8; bar < 79; ++bar) {
        const bool on = (bar < 48 || (bar >= 56 && bar < 76)) && bar != 78;
        if (!on) continue;
        const int root = kRoot[chord_of(bar)];
        const bool rolling = (bar >= 32 && bar < 48) || (bar >= 64 && bar < 72);
        for (int beat = 0; beat < 4; ++beat) {
            if (rests(bar, beat)) continue;
            const int t = at_bar(bar, beat * 4);
            if (rolling) {
                // Rolling sixteenths: rest on the kick, three notes after it, the last an octave
                // up.
                bass(m, t + kStep, kStep - 300, root, 0.8);
                bass(m, t + 2 * kStep, kStep - 300, root, 1.0);
                bass(m, t + 3 * kStep, kStep - 300, root + 12, 0.7);
            } else {
                bass(m, t + 2 * kStep, 2 * kStep - 600, root, bar < 16 ? 0.75 : 1.0);
            }
        }
    }
    // The last chord's root, held under the final bars.
    bass(m, at_bar(78), 2 * kBar - kBar / 2, kRoot[kAm], 0.7);
}

void harmony(Mix &m) {
    // Pads: one note per chord change, held across repeated chords.
    int start = 0;
    for (int bar = 1; bar <= kMusicBars; ++bar) {
        if (bar < kMusicBars && chord_of(bar) == chord_of(start) && bar != 78) continue;
        const int len = (bar - start) * kBar - (bar == kMusicBars ? kBar : 0);
        double vel = 0.8;
        if (start < 8)
            vel = 1.4;
        else if (start >= 48 && start < 56)
            vel = 1.3;
        else if (start >= 76)
            vel = 1.2;
        pad(m, at_bar(start), len, kVoicing[chord_of(start)], 4, vel);
        start = bar;
    }
    // Arpeggio over the chord tones and their octave, in sixteenths.
    static const int kOrder[16] = {0, 1, 2, 4, 1, 2, 3, 5, 2, 3, 4, 6, 3, 4, 5, 7};
    for (int bar = 4; bar < 78; ++bar) {
        double level, bright;
        if (bar < 8) {
            level = 0.35;
            bright = 0.1 + 0.03 * (bar - 4);
        } else if (bar < 16) {
            level = 0.45;
            bright = 0.25 + 0.09 * (bar - 8);
        } else if (bar < 48) {
            level = bar < 32 ? 0.5 : 0.4;
            bright = 0.9;
        } else if (bar < 52) {
            continue;
        } else if (bar < 56) {
            level = 0.4;
            bright = 0.15 + 0.15 * (bar - 52);
        } else if (bar < 72) {
            level = 0.5;
            bright = 1.0;
        } else {
            level = 0.45;
            bright = 0.9 - 0.1 * (bar - 72);
        }
        const int *v = kVoicing[chord_of(bar)];
        for (int s = 0; s < 16; ++s) {
            const int idx = kOrder[s];
            const int note = v[idx % 4] + 12 * (idx / 4) + 12;
            pluck(m, at_bar(bar, s), note, level * (s % 4 == 0 ? 1.0 : 0.75), s & 1 ? 0.45 : -0.45,
                  bright);
        }
    }
    // Leads and bells.
    auto leads = [&m](double vel) {
        return [&m, vel](int t, int len, int note) { lead(m, t, len - kStep / 4, note, vel); };
    };
    auto bells = [&m](double vel, int shift) {
        return [&m, vel, shift](int t, int, int note) {
            bell(m, t, note + shift, vel, (note % 3 - 1) * 0.35);
        };
    };
    phrase(kMelodyA, 16, 16, leads(0.9));
    phrase(kMelodyB, 32, 16, leads(0.9));
    // The second pass of each melody is answered a third below, from one side.
    auto answers = [&m](double vel, double where) {
        return [&m, vel, where](int t, int len, int note) {
            lead2(m, t, len - kStep / 4, third_below(note), vel, where);
        };
    };
    phrase(kMelodyA, 24, 8, answers(1.0, -0.5));
    phrase(kMelodyB, 40, 8, answers(1.0, 0.5));
    phrase(kMelodyBreak, 48, 8, bells(1.5, 0));
    phrase(kMelodyBreak, 50, 6, bells(0.6, 12));
    phrase(kMelodyA, 56, 8, leads(1.0));
    phrase(kMelodyA, 56, 8, bells(0.35, 12));
    phrase(kMelodyB, 64, 8, leads(1.0));
    phrase(kMelodyB, 64, 8, bells(0.3, 0));
    phrase(kMelodyA, 72, 6, bells(0.6, 0));
    // Intro bells: the top of each chord and its fifth, one pair per chord.
    for (int bar = 0; bar < 8; bar += 2) {
        const int *v = kVoicing[chord_of(bar)];
        bell(m, at_bar(bar), v[3] + 12, 1.0, -0.3);
        bell(m, at_bar(bar, 6), v[2] + 12, 0.75, 0.3);
        bell(m, at_bar(bar + 1, 4), v[1] + 12, 0.7, 0.0);
    }
    // The final chord rung out.
    bell(m, at_bar(78), 69, 0.9, -0.2, 3.5);
    bell(m, at_bar(78, 1), 76, 0.6, 0.2, 3.5);
    bell(m, at_bar(78, 2), 81, 0.5, 0.0, 3.5);
}

// Master: gain, soft limiting above -3 dB, a fade over the last seconds, 16-bit samples.
void master(const Mix &m, std::vector<std::int16_t> &pcm) {
    const double gain = 0.7;
    const int fade = int(3.0 * kFs);
    auto limit = [](double x) {
        const double knee = 0.7;
        const double a = x < 0 ? -x : x;
        if (a <= knee) return x;
        const double y = knee + (1 - knee) * softclip((a - knee) / (1 - knee)) * 0.95;
        return x < 0 ? -y : y;
    };
    pcm.resize(size_t(kTotal) * 2);
    double in[2] = {0, 0}, hp[2] = {0, 0};
    for (int i = 0; i < kTotal; ++i) {
        double g = gain;
        if (kTotal - i < fade) {
            const double x = double(kTotal - 1 - i) / fade;
            g *= x * x;
        }
        for (int c = 0; c < 2; ++c) {
            // A high-pass at about 10 Hz keeps the waveform centred.
            const double x = c ? m.dry.r[i] : m.dry.l[i];
            hp[c] = 0.99857 * (hp[c] + x - in[c]);
            in[c] = x;
            const double v = limit(hp[c] * g) * 32767.0;
            const long s = long(v + (v >= 0 ? 0.5 : -0.5));
            pcm[size_t(i) * 2 + c] = std::int16_t(s > 32767 ? 32767 : (s < -32767 ? -32767 : s));
        }
    }
}

}  // namespace

bool gen_music(const char *outdir) {
    // Open the file first, so that an unwritable folder fails before the synthesis runs.
    const std::string path = std::string(outdir) + "/" + kMusicFileName;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        core_log(LOG_ERROR, "gen.music_unwritable", "gen_music: cannot write %s\n", path.c_str());
        return false;
    }

    Mix m(kTotal);
    drums(m);
    bassline(m);
    harmony(m);
    run_delay(m);
    run_reverb(m);
    std::vector<std::int16_t> pcm;
    master(m, pcm);

    const std::vector<std::uint8_t> file = wav_encode_pcm16(pcm.data(), pcm.size(), 2, kMusicRate);
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (std::fclose(f) != 0 || !ok) {
        core_log(LOG_ERROR, "gen.music_write_error", "gen_music: write error on %s\n",
                 path.c_str());
        return false;
    }
    core_log(LOG_PROGRESS, "gen.music", "music: %s, %u frames\n", path.c_str(), unsigned(kTotal));
    return true;
}
