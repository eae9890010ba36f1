// Command-line parsing with getopt_long (GNU conventions: long options,
// "--option=value" or "--option value", "--" ends the options). Every value
// is checked here, so a bad argument ends the program before any file is
// touched.
#include "args.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kvzaconv {

namespace {

enum OptionCode : int {
    kHelp = 'h',
    kVersion = 'V',
    kJobs = 'j',
    kResize = 256,
    kFilter,
    kWrap,
    kReduce,
    kAlpha,
    kDither,
    kGrey,
    kAlphaMap,
    kOutline,
    kEdge,
    kFrame,
    kTransparentize,
    kTolerance,
    kBackground,
    kBorderColour,
    kType,
    kOption,
    kListTypes,
    kInfo,
    kOutDir,
    kExt,
    kProgress,
};

const option kOptions[] = {
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"jobs", required_argument, nullptr, kJobs},
    {"resize", required_argument, nullptr, kResize},
    {"filter", required_argument, nullptr, kFilter},
    {"wrap", required_argument, nullptr, kWrap},
    {"reduce", required_argument, nullptr, kReduce},
    {"alpha", required_argument, nullptr, kAlpha},
    {"dither", required_argument, nullptr, kDither},
    {"grey", no_argument, nullptr, kGrey},
    {"gray", no_argument, nullptr, kGrey},
    {"alpha-map", no_argument, nullptr, kAlphaMap},
    {"outline", no_argument, nullptr, kOutline},
    {"edge", no_argument, nullptr, kEdge},
    {"frame", required_argument, nullptr, kFrame},
    {"transparentize", required_argument, nullptr, kTransparentize},
    {"tolerance", required_argument, nullptr, kTolerance},
    {"background", required_argument, nullptr, kBackground},
    {"border-colour", required_argument, nullptr, kBorderColour},
    {"border-color", required_argument, nullptr, kBorderColour},
    {"type", required_argument, nullptr, kType},
    {"option", required_argument, nullptr, kOption},
    {"list-types", required_argument, nullptr, kListTypes},
    {"info", no_argument, nullptr, kInfo},
    {"out-dir", required_argument, nullptr, kOutDir},
    {"ext", required_argument, nullptr, kExt},
    {"progress", no_argument, nullptr, kProgress},
    {nullptr, 0, nullptr, 0},
};

// A decimal integer in [lo, hi] and nothing else.
bool ParseInt(const std::string &text, long long lo, long long hi, long long &out) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

std::vector<std::string> Split(const std::string &text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(sep, start);
        parts.push_back(
            text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseColour(const std::string &text, bool with_alpha, Colour &out) {
    const size_t n = text.size();
    if (text.empty() || text[0] != '#' || (n != 7 && !(with_alpha && n == 9))) return false;
    uint8_t bytes[4] = {0, 0, 0, 0};
    for (size_t i = 1; i < n; i += 2) {
        const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[(i - 1) / 2] = static_cast<uint8_t>(hi * 16 + lo);
    }
    out.r = bytes[0];
    out.g = bytes[1];
    out.b = bytes[2];
    if (n == 9) out.a = bytes[3];
    return true;
}

bool ParseResize(const std::string &text, Operation &op) {
    long long v = 0;
    if (!text.empty() && text.back() == '%') {
        if (!ParseInt(text.substr(0, text.size() - 1), 1, 100000, v)) return false;
        op.percent_size = true;
        op.percent = static_cast<int32_t>(v);
        return true;
    }
    const std::vector<std::string> parts = Split(text, 'x');
    long long w = 0, h = 0;
    if (parts.size() != 2 || !ParseInt(parts[0], 1, INT32_MAX, w) ||
        !ParseInt(parts[1], 1, INT32_MAX, h))
        return false;
    op.width = static_cast<int32_t>(w);
    op.height = static_cast<int32_t>(h);
    return true;
}

bool ParseWrapMode(const std::string &text, uint8_t &mode) {
    const char *const names[] = {"clamp", "wrap", "mirror", "border"};
    for (uint8_t i = 0; i < 4; ++i)
        if (text == names[i]) {
            mode = i;  // the order of enum kvza_wrap
            return true;
        }
    return false;
}

bool ParseReference(const std::string &text, Operation &op) {
    const struct {
        const char *name;
        kvzaedit::RefPoint point;
    } corners[] = {{"top-left", kvzaedit::RefPoint::TopLeft},
                   {"top-right", kvzaedit::RefPoint::TopRight},
                   {"bottom-left", kvzaedit::RefPoint::BottomLeft},
                   {"bottom-right", kvzaedit::RefPoint::BottomRight}};
    for (const auto &c : corners)
        if (text == c.name) {
            op.reference = c.point;
            return true;
        }
    const std::vector<std::string> parts = Split(text, ',');
    long long x = 0, y = 0;
    if (parts.size() != 2 || !ParseInt(parts[0], INT32_MIN, INT32_MAX, x) ||
        !ParseInt(parts[1], INT32_MIN, INT32_MAX, y))
        return false;
    op.reference = kvzaedit::RefPoint::AnyPoint;
    op.x = static_cast<int32_t>(x);
    op.y = static_cast<int32_t>(y);
    return true;
}

// Parses one option's argument into args; false with the reason.
bool Take(int code, const std::string &arg, Args &args, std::string &error) {
    Operation op;
    long long v = 0;
    auto bad = [&](const char *what) {
        error = std::string("invalid ") + what + " '" + arg + "'";
        return false;
    };
    switch (code) {
        case kJobs:
            if (!ParseInt(arg, 1, 1024, v)) return bad("job count");
            args.jobs = static_cast<unsigned>(v);
            return true;
        case kResize:
            op.kind = OpKind::Resize;
            if (!ParseResize(arg, op)) return bad("size (WIDTHxHEIGHT or PERCENT%)");
            break;
        case kFilter: {
            const char *const names[] = {"near", "line", "slant", "arc", "shape"};
            for (int i = 0; i < 5; ++i)
                if (arg == names[i]) {
                    args.settings.filter = static_cast<kvzaedit::ResampleMode>(i);
                    return true;
                }
            return bad("filter (near, line, slant, arc or shape)");
        }
        case kWrap: {
            const std::vector<std::string> parts = Split(arg, ',');
            uint8_t x = 0, y = 0;
            if (parts.size() != 2 || !ParseWrapMode(parts[0], x) || !ParseWrapMode(parts[1], y))
                return bad("wrap modes (X,Y, each clamp, wrap, mirror or border)");
            args.settings.wrap = std::make_pair(x, y);
            return true;
        }
        case kReduce:
            op.kind = OpKind::Reduce;
            if (!ParseInt(arg, 2, 256, v)) return bad("colour count (2 to 256)");
            op.colours = static_cast<uint32_t>(v);
            break;
        case kAlpha:
            if (arg == "opaque")
                args.settings.alpha = KVZA_ALPHA_OPAQUE;
            else if (arg == "binary")
                args.settings.alpha = KVZA_ALPHA_BINARY;
            else if (arg == "full")
                args.settings.alpha = KVZA_ALPHA_FULL;
            else
                return bad("alpha mode (opaque, binary or full)");
            return true;
        case kDither:
            if (!ParseInt(arg, 0, 256, v)) return bad("dither levels (0 to 256)");
            args.settings.dither = static_cast<uint32_t>(v);
            return true;
        case kGrey:
            op.kind = OpKind::Grey;
            break;
        case kAlphaMap:
            op.kind = OpKind::AlphaMap;
            break;
        case kOutline:
            op.kind = OpKind::Outline;
            break;
        case kEdge:
            op.kind = OpKind::Edge;
            break;
        case kFrame: {
            op.kind = OpKind::Frame;
            Colour c;
            if (arg == "transparent") {
                op.frame = FrameKind::Transparent;
            } else if (arg == "border") {
                op.frame = FrameKind::Border;
            } else if (ParseColour(arg, true, c)) {
                op.frame = FrameKind::Border;
                op.frame_colour = c;
            } else {
                return bad("frame (transparent, border, #RRGGBB or #RRGGBBAA)");
            }
            break;
        }
        case kTransparentize:
            op.kind = OpKind::Transparentize;
            if (!ParseReference(arg, op))
                return bad("reference (top-left, top-right, bottom-left, bottom-right or X,Y)");
            break;
        case kTolerance: {
            const std::vector<std::string> parts = Split(arg, ',');
            if (parts.size() != 4) return bad("tolerances (HUE,CHROMA,BRIGHTNESS,ALPHA)");
            for (int i = 0; i < 4; ++i) {
                if (!ParseInt(parts[i], INT32_MIN, INT32_MAX, v))
                    return bad("tolerances (HUE,CHROMA,BRIGHTNESS,ALPHA)");
                args.settings.tolerance[i] = static_cast<int32_t>(v);
            }
            return true;
        }
        case kBackground:
            op.kind = OpKind::Background;
            if (!ParseColour(arg, false, op.colour)) return bad("background colour (#RRGGBB)");
            break;
        case kBorderColour:
            op.kind = OpKind::BorderColour;
            if (!ParseColour(arg, true, op.colour))
                return bad("border colour (#RRGGBB or #RRGGBBAA)");
            break;
        case kType:
            if (arg.empty()) return bad("type");
            args.save.type = arg;
            return true;
        case kOption: {
            const size_t eq = arg.find('=');
            if (eq == std::string::npos || eq == 0) return bad("option (NAME=VALUE)");
            args.save.options.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
            return true;
        }
        case kListTypes:
            args.mode = Mode::ListTypes;
            args.list_ext = arg;
            return true;
        case kOutDir:
            args.out_dir = arg;
            return true;
        case kExt:
            args.ext = !arg.empty() && arg[0] == '.' ? arg.substr(1) : arg;
            if (args.ext.empty()) return bad("extension");
            return true;
        default:
            return true;
    }
    args.ops.push_back(op);
    return true;
}

}  // namespace

bool ParseArgs(int argc, char **argv, Args &args, std::string &error) {
    args = Args{};
    bool info = false, help = false, version = false;
    opterr = 0;  // the messages are ours
    optind = 1;
    for (;;) {
        int index = 0;
        const int code = getopt_long(argc, argv, "hVj:", kOptions, &index);
        if (code == -1) break;
        if (code == '?') {
            const std::string bad = argv[optind - 1] != nullptr ? argv[optind - 1] : "";
            error = optopt != 0 && optopt < 256 && bad.rfind("--", 0) != 0
                        ? std::string("unknown or incomplete option '-") +
                              static_cast<char>(optopt) + "'"
                        : "unknown or incomplete option '" + bad + "'";
            return false;
        }
        if (code == kHelp) help = true;
        if (code == kVersion) version = true;
        if (code == kInfo) info = true;
        if (code == kProgress) args.progress = true;
        if (!Take(code, optarg != nullptr ? optarg : "", args, error)) return false;
    }
    for (int i = optind; i < argc; ++i) args.files.emplace_back(argv[i]);
    if (help) {
        args.mode = Mode::Help;
        return true;
    }
    if (version) {
        args.mode = Mode::Version;
        return true;
    }
    if (args.mode == Mode::ListTypes) return true;
    if (info) {
        args.mode = Mode::Info;
        if (args.files.empty()) {
            error = "--info needs at least one file";
            return false;
        }
        return true;
    }
    if (!args.out_dir.empty() || !args.ext.empty()) {
        args.mode = Mode::Batch;
        if (args.out_dir.empty() || args.ext.empty()) {
            error = "a batch needs both --out-dir and --ext";
            return false;
        }
        if (args.files.empty()) {
            error = "a batch needs at least one input file";
            return false;
        }
        return true;
    }
    args.mode = Mode::Convert;
    if (args.files.size() != 2) {
        error = args.files.size() < 2 ? "an input and an output file are needed"
                                      : "more than one output file (a batch needs --out-dir)";
        return false;
    }
    return true;
}

const char *HelpText() {
    return R"(Usage: kvzaconv [OPTION...] INPUT OUTPUT
       kvzaconv --out-dir DIR --ext EXT [OPTION...] INPUT...
       kvzaconv --info FILE...
       kvzaconv --list-types EXT
Reads INPUT through the editor's reader plug-ins (by its extension), applies
the operations in the order given and writes OUTPUT through the writer
plug-in of its extension. The operations are the editor's own, with the same
results; the plug-ins and KVZAEDIT.INI beside the program are the editor's.

Operations (in the order given):
      --resize WxH | P%      resample to W x H pixels or to P percent
      --reduce N             reduce to N colours (2..256)
      --grey, --gray         grey map
      --alpha-map            alpha map
      --outline              give transparent pixels their neighbours' colour
      --edge                 fade the edges of visible areas (edge transparency)
      --frame KIND           one-pixel frame: transparent, border (the border
                             colour), #RRGGBB or #RRGGBBAA (sets the border
                             colour first)
      --transparentize REF   make pixels like the reference transparent; REF is
                             top-left, top-right, bottom-left, bottom-right or X,Y
      --background #RRGGBB   the view background stored with the image
      --border-colour #RRGGBB[AA]  the colour outside the image (alpha 0 unless
                             given)
Settings of the operations (wherever they stand):
      --filter MODE          resampling: near, line, slant, arc, shape (default)
      --wrap X,Y             the image's wrap modes per axis: clamp, wrap,
                             mirror, border
      --alpha MODE           alpha of --reduce: opaque, binary, full (default)
      --dither LEVELS        dithering of --reduce, 0..256 (default 128)
      --tolerance H,C,B,A    tolerances of --transparentize in hundredths, as
                             the dialog's fields (hue, chroma, brightness,
                             alpha; default 0,0,0,0)
Saving:
      --type ID|CAPTION      the layout, by pixel-type id or caption; default the
                             layout the input was read in when the writer offers
                             it, else the writer's first
      --option NAME=VALUE    a writer option by its caption, or switchN / trackN
                             by index; switches take on/off, track bars a number.
                             The dither track (track 0) is 0 unless set here, so
                             a plain conversion keeps the pixels.
      --list-types EXT       print the layouts and options of the writer for EXT
Batch:
      --out-dir DIR          write each INPUT to DIR under its name with EXT
      --ext EXT              the extension (and so the writer) of the outputs
  -j, --jobs N               files converted at once (default: one per core)
      --progress             draw progress also when standard error is no
                             terminal
Other:
      --info                 print size, layout read, palette and transparency
  -h, --help                 print this help
  -V, --version              print the version
Exit status: 0 all done, 1 at least one file failed, 2 usage error.
Ctrl+C cancels: an existing output stays as it was, a new one is removed.
)";
}

}  // namespace kvzaconv
