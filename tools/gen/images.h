// Every image of the built-in production, written as TGA files.
#pragma once

#include <cstdint>
#include <string>

#include "style.h"

// Writes every file listed in kResourceFiles into `outdir`, one line per file on standard
// output. False (with a message on standard error) when a file cannot be made or written.
bool gen_images(const char *outdir);

// Encodes a picture as the TGA kind that kResourceFiles gives for `name` and writes it to
// `outdir`; checks the picture's size against the table. Adds the file size to *total.
bool write_resource(const std::string &outdir, const char *name, const Picture &pic,
                    std::uint64_t *total);
