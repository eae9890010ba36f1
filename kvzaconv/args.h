// args.h - the command line of kvzaconv: operations in the order given,
// the settings that apply to every operation of their kind, the save
// choices and the files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document.h"

namespace kvzaconv {

// A colour as typed: #RRGGBB, or #RRGGBBAA with an alpha byte.
struct Colour {
    uint8_t r = 0, g = 0, b = 0;
    std::optional<uint8_t> a;
};

enum class OpKind {
    Resize,
    Reduce,
    Grey,
    AlphaMap,
    Outline,
    Edge,
    Frame,
    Transparentize,
    Background,
    BorderColour,
};

enum class FrameKind { Transparent, Border };

struct Operation {
    OpKind kind = OpKind::Grey;
    // Resize: width x height pixels, or percent of both sides.
    bool percent_size = false;
    int32_t width = 0, height = 0, percent = 100;
    // Reduce: the number of colours.
    uint32_t colours = 256;
    // Frame: transparent, or in the border colour (set first when given).
    FrameKind frame = FrameKind::Border;
    std::optional<Colour> frame_colour;
    // Transparentize: the reference pixel.
    kvzaedit::RefPoint reference = kvzaedit::RefPoint::TopLeft;
    int32_t x = 0, y = 0;
    // Background, border colour.
    Colour colour;
};

// Settings of the operations, wherever they stand on the line.
struct Settings {
    kvzaedit::ResampleMode filter = kvzaedit::ResampleMode::Shape;  // the size dialog's default
    std::optional<std::pair<uint8_t, uint8_t>> wrap;  // the image's wrap modes, x and y
    kvza_alpha_mode alpha = KVZA_ALPHA_FULL;          // the reduce dialog's defaults
    uint32_t dither = 128;
    // Tolerances of --transparentize in hundredths, as the dialog's fields:
    // hue, chroma, brightness, alpha.
    int32_t tolerance[4] = {0, 0, 0, 0};
};

// --type and --option as typed; checked against the writer's table.
struct SaveChoice {
    std::string type;
    std::vector<std::pair<std::string, std::string>> options;  // name, value
};

enum class Mode { Convert, Batch, Info, ListTypes, Help, Version };

struct Args {
    Mode mode = Mode::Convert;
    std::vector<Operation> ops;
    Settings settings;
    SaveChoice save;
    std::vector<std::string> files;  // Convert: input and output; Batch, Info: inputs
    std::string out_dir, ext;        // Batch
    std::string list_ext;            // ListTypes
    unsigned jobs = 0;               // 0: one per core
    bool progress = false;           // also when standard error is no terminal
};

// Parses the command line; false with a one-line reason in error.
bool ParseArgs(int argc, char **argv, Args &args, std::string &error);

// The text of --help.
const char *HelpText();

}  // namespace kvzaconv
