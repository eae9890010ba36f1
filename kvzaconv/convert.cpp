#include "convert.h"

#include <sys/stat.h>
#include <unistd.h>

#include "document.h"
#include "edit_values.h"
#include "image_alloc.h"
#include "input_host.h"
#include "output_host.h"
#include "pixtypes.h"

namespace kvzaconv {

namespace {

using kvzaedit::Document;

// The step each operation shows, in the order of OpKind.
const char *const kStepNames[] = {"resize",     "reduce",       "grey",  "alpha-map",
                                  "outline",    "edge",         "frame", "transparentize",
                                  "background", "border-colour"};

bool Exists(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// The alpha a typed colour gives the border: its alpha byte, or 0 (as the
// editor's colour dialog gives it) without one.
float AlphaOf(const Colour &c) {
    return c.a ? static_cast<float>(*c.a) / 255.0f : 0.0f;
}

// Applies one operation to the document; the edit's status.
kvza_status Apply(Document &doc, const Operation &op, const Settings &settings) {
    const KvzaImage *image = doc.CurImg;
    switch (op.kind) {
        case OpKind::Resize: {
            int32_t w = op.width, h = op.height;
            if (op.percent_size) {
                w = kvzaedit::PixelsOfPercent(op.percent, static_cast<uint32_t>(image->width));
                h = kvzaedit::PixelsOfPercent(op.percent, static_cast<uint32_t>(image->height));
            }
            return doc.ResizeTo(settings.filter, w, h);
        }
        case OpKind::Reduce:
            return doc.ReduceColours(settings.alpha, op.colours, settings.dither);
        case OpKind::Grey:
            return doc.GreyMap();
        case OpKind::AlphaMap:
            return doc.AlphaMap();
        case OpKind::Outline:
            return doc.AdjustOutline();
        case OpKind::Edge:
            return doc.EdgeAntialias();
        case OpKind::Frame:
            if (op.frame == FrameKind::Transparent) return doc.AddTransparentFrame();
            if (op.frame_colour) {
                const Colour &c = *op.frame_colour;
                doc.SetBorderColour(c.r, c.g, c.b, AlphaOf(c));
            }
            return doc.AddBorderFrame();
        case OpKind::Transparentize: {
            kvzaedit::Tolerances t;
            t.hue = kvzaedit::ToleranceFromInt(settings.tolerance[0]);
            t.chroma = kvzaedit::ToleranceFromInt(settings.tolerance[1]);
            t.whiteness = kvzaedit::ToleranceFromInt(settings.tolerance[2]);
            t.alpha = kvzaedit::ToleranceFromInt(settings.tolerance[3]);
            return doc.TransparentizeRef(op.reference, op.x, op.y, t);
        }
        case OpKind::Background:
            doc.SetViewBackground(op.colour.r, op.colour.g, op.colour.b);
            return KVZA_OK;
        case OpKind::BorderColour: {
            const Colour &c = op.colour;
            doc.SetBorderColour(c.r, c.g, c.b, AlphaOf(c));
            return KVZA_OK;
        }
    }
    return KVZA_FAILED;
}

}  // namespace

bool ConvertFile(const Job &job, const Args &args, const SaveSettings &save, ProgressSink *sink,
                 std::string &reason) {
    ConvUi ui(save, sink);
    ui.SetStep("reduce");  // the only operation with a progress record
    auto fail = [&](const char *fallback) {
        reason = !ui.Message().empty() ? ui.Message() : fallback;
        return false;
    };
    // Steps without progress records of their own show at their start.
    auto begin = [sink](const char *step) {
        if (sink != nullptr) sink->Report(step, 0, 1);
    };
    begin("load");
    KvzaImage *image = kvzaedit::LoadImageFile(job.input, job.input_library, ui);
    if (image == nullptr) return fail("load failed");
    Document doc(ui);
    doc.Take(image);
    if (args.settings.wrap) {
        doc.CurImg->wrapx = args.settings.wrap->first;
        doc.CurImg->wrapy = args.settings.wrap->second;
    }
    for (const Operation &op : args.ops) {
        if (CancelRequested()) return fail("canceled");
        begin(kStepNames[static_cast<int>(op.kind)]);
        if (Apply(doc, op, args.settings) != KVZA_OK) return fail("failed");
    }
    if (CancelRequested()) return fail("canceled");

    ui.SetStep("save");
    ui.SetReadType(doc.CurImg->pixtype);
    const bool existed = Exists(job.output);
    if (kvzaedit::SaveWithPlugin(job.output, job.output_library, doc.CurImg, &doc.SaveOpts, ui) !=
        0) {
        // The output is all or nothing: a new file left half written goes.
        if (!existed) unlink(job.output.c_str());
        return fail("failed");
    }
    return true;
}

bool PrintInfo(std::FILE *out, const std::string &file, const std::string &library,
               std::string &reason) {
    ConvUi ui(SaveSettings{}, nullptr);
    KvzaImage *image = kvzaedit::LoadImageFile(file, library, ui);
    if (image == nullptr) {
        reason = !ui.Message().empty() ? ui.Message() : "load failed";
        return false;
    }
    const int index = kot::pixtype_index(image->pixtype);
    uint64_t clear = 0, partly = 0;
    const uint64_t count =
        uint64_t{static_cast<uint32_t>(image->width)} * static_cast<uint32_t>(image->height);
    for (uint64_t i = 0; i < count; ++i) {
        const float a = image->pixels[i].a;
        if (a <= 0.0f)
            ++clear;
        else if (a < 1.0f)
            ++partly;
    }
    int entries = 0;
    for (const KvzaPixel &p : image->palette)
        if (p.c != 0.0f || p.s != 0.0f || p.w != 0.0f || p.a != 0.0f) ++entries;
    std::fprintf(out, "%s\n  size: %d x %d\n  read as: %d %s\n", file.c_str(), image->width,
                 image->height, image->pixtype,
                 index >= 0 ? kot::kPixTypes[static_cast<size_t>(index)].caption
                            : "(the reader records none)");
    if (entries > 0)
        std::fprintf(out, "  palette: %d entries\n", entries);
    else
        std::fprintf(out, "  palette: none\n");
    if (clear == 0 && partly == 0)
        std::fprintf(out, "  transparency: none (every pixel opaque)\n");
    else
        std::fprintf(out, "  transparency: %llu pixels fully, %llu partly transparent\n",
                     static_cast<unsigned long long>(clear),
                     static_cast<unsigned long long>(partly));
    kvzaedit::ReleaseImage(image);
    return true;
}

}  // namespace kvzaconv
