// convert.h - one file through the document: read, the operations in the
// order given, written; and the facts --info prints.
#pragma once

#include <cstdio>
#include <string>

#include "args.h"
#include "conv_ui.h"

namespace kvzaconv {

// The reader and writer libraries of one conversion, chosen by the names.
struct Job {
    std::string input, input_library;
    std::string output, output_library;
};

// Converts one file; false with the reason in the editor's words. An output
// file that existed stays as it was when the conversion fails or is
// cancelled; one that did not is removed.
bool ConvertFile(const Job &job, const Args &args, const SaveSettings &save, ProgressSink *sink,
                 std::string &reason);

// Reads the file and prints its size, the layout it was read in, its
// palette and its transparency; false with the reason.
bool PrintInfo(std::FILE *out, const std::string &file, const std::string &library,
               std::string &reason);

}  // namespace kvzaconv
