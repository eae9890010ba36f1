// kvzaconv as a user runs it: the files it writes are the ones the document
// and the hosts write when called as the editor calls them; batches give the
// same bytes on one or two jobs; bad arguments, bad files and Ctrl+C.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "document.h"
#include "dynlib.h"
#include "edit_values.h"
#include "image_alloc.h"
#include "ini_file.h"
#include "input_host.h"
#include "output_host.h"

namespace {

namespace fs = std::filesystem;
using kvzaedit::Document;

std::string ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Result {
    int status = -1;
    std::string err;
};

// Runs kvzaconv with the arguments (a shell line) and standard error caught.
Result Conv(const std::string &args, const fs::path &dir) {
    const fs::path err = dir / "stderr.txt";
    const std::string line = std::string(KVZACONV) + " " + args + " 2>" + err.string();
    const int raw = std::system(line.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = ReadFile(err);
    return r;
}

// The host front end of the editor's save with the converter's choices:
// the type given, the writer's defaults, no dithering.
struct EditorUi : kvzaedit::HostUi {
    int16_t type = 0;
    std::vector<std::string> messages;
    void ErrorBox(const std::string &text) override { messages.push_back(text); }
    int RunSaveDialog(const KotUsableTable *table, KotSaveOptions *o,
                      const kvzaedit::TypeHints &) override {
        o->type = type;
        o->switches = table->switch_defaults;
        for (int i = 0; i < KOT_MAX_TRACKS; ++i) o->track[i] = table->track[i].position;
        o->track[0] = 0;
        return 0;
    }
    KvzaProgress *OpenProgress() override { return nullptr; }
    void CloseProgress() override {}
};

class Kvzaconv : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kvzaconv_test_" + std::to_string(getpid()));
        fs::create_directories(dir);
        kvzaedit::SetProgramDir(KVZA_BIN_DIR);
        kvzaedit::SetIniPath(std::string(KVZA_BIN_DIR) + "/KVZAEDIT.INI");
        input = (dir / "in.png").string();
        // Alpha from 0 to 1, colours all different: each operation changes bytes.
        const std::string make =
            "convert -size 40x30 gradient:'rgba(250,20,0,0)'-'rgba(0,40,255,1)' "
            "-channel G -fx 'i/w' +channel " +
            input;
        if (std::system(make.c_str()) != 0) GTEST_SKIP() << "ImageMagick missing";
    }
    void TearDown() override { fs::remove_all(dir); }

    // The file the editor's calls write for op and type, in ext.
    std::string EditorFile(const std::function<kvza_status(Document &)> &op, int16_t type,
                           const std::string &ext) {
        EditorUi ui;
        ui.type = type;
        const std::string out = (dir / ("editor." + ext)).string();
        Document doc(ui);
        doc.Take(kvzaedit::LoadImageFile(
            input, kvzaedit::PluginLibraryName(kvzaedit::PluginDir::Input, input), ui));
        if (doc.CurImg == nullptr || op(doc) != KVZA_OK) return "no image";
        if (kvzaedit::SaveWithPlugin(out,
                                     kvzaedit::PluginLibraryName(kvzaedit::PluginDir::Output, out),
                                     doc.CurImg, &doc.SaveOpts, ui) != 0)
            return "not saved";
        return ReadFile(out);
    }

    fs::path dir;
    std::string input;
};

TEST_F(Kvzaconv, WritesWhatTheEditorsCallsWrite) {
    using kvzaedit::PixelsOfPercent;
    using kvzaedit::ResampleMode;
    struct Case {
        std::string args;
        std::function<kvza_status(Document &)> op;
        int16_t type;
        std::string ext;
    };
    const auto half = [](Document &d, ResampleMode m) {
        return d.ResizeTo(m, PixelsOfPercent(50, 40), PixelsOfPercent(50, 30));
    };
    const std::vector<Case> cases = {
        {"", [](Document &) { return KVZA_OK; }, 21, "png"},
        {"--resize 50% --filter line", [&](Document &d) { return half(d, ResampleMode::Line); }, 21,
         "png"},
        {"--resize 37x21", [](Document &d) { return d.ResizeTo(ResampleMode::Shape, 37, 21); }, 21,
         "tga"},
        {"--wrap mirror,wrap --resize 200% --filter arc",
         [](Document &d) {
             d.CurImg->wrapx = KVZA_WRAP_MIRROR;
             d.CurImg->wrapy = KVZA_WRAP_WRAP;
             return d.ResizeTo(ResampleMode::Arc, 80, 60);
         },
         21, "png"},
        {"--reduce 16 --alpha binary --dither 64",
         [](Document &d) { return d.ReduceColours(KVZA_ALPHA_BINARY, 16, 64); }, 40, "png"},
        {"--reduce 200", [](Document &d) { return d.ReduceColours(KVZA_ALPHA_FULL, 200, 128); }, 41,
         "bmp"},
        {"--grey", [](Document &d) { return d.GreyMap(); }, 50, "png"},
        {"--alpha-map", [](Document &d) { return d.AlphaMap(); }, 21, "tga"},
        {"--outline --edge",
         [](Document &d) { return d.AdjustOutline() == KVZA_OK ? d.EdgeAntialias() : KVZA_FAILED; },
         21, "png"},
        {"--frame transparent", [](Document &d) { return d.AddTransparentFrame(); }, 21, "png"},
        {"--frame '#10203040'",
         [](Document &d) {
             d.SetBorderColour(0x10, 0x20, 0x30, 0x40 / 255.0f);
             return d.AddBorderFrame();
         },
         198, "png"},
        {"--transparentize top-right --tolerance 10,20,30,40",
         [](Document &d) {
             kvzaedit::Tolerances t;
             t.hue = kvzaedit::ToleranceFromInt(10);
             t.chroma = kvzaedit::ToleranceFromInt(20);
             t.whiteness = kvzaedit::ToleranceFromInt(30);
             t.alpha = kvzaedit::ToleranceFromInt(40);
             return d.TransparentizeRef(kvzaedit::RefPoint::TopRight, 0, 0, t);
         },
         21, "png"},
        {"--border-colour '#445566' --frame border",
         [](Document &d) {
             d.SetBorderColour(0x44, 0x55, 0x66);
             return d.AddBorderFrame();
         },
         20, "bmp"},
    };
    for (const Case &c : cases) {
        const fs::path out = dir / ("conv." + c.ext);
        fs::remove(out);
        const Result r = Conv(
            input + " " + c.args + " --type " + std::to_string(c.type) + " " + out.string(), dir);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        const std::string want = EditorFile(c.op, c.type, c.ext);
        ASSERT_GT(want.size(), 20u) << c.args << ": " << want;
        EXPECT_TRUE(ReadFile(out) == want) << c.args;
    }
}

TEST_F(Kvzaconv, BatchOnTwoJobsGivesTheBytesOfOne) {
    std::string inputs;
    for (int i = 0; i < 6; ++i) {
        const fs::path p = dir / ("f" + std::to_string(i) + ".png");
        const std::string make = "convert -size " + std::to_string(20 + 7 * i) +
                                 "x17 plasma:fractal -seed " + std::to_string(i) + " " + p.string();
        ASSERT_EQ(std::system(make.c_str()), 0);
        inputs += " " + p.string();
    }
    for (const char *jobs : {"1", "2"}) {
        const Result r = Conv("--out-dir " + (dir / jobs).string() + " --ext bmp -j " + jobs +
                                  " --reduce 32" + inputs,
                              dir);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    for (int i = 0; i < 6; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bmp";
        const std::string one = ReadFile(dir / "1" / name);
        EXPECT_GT(one.size(), 54u) << name;
        EXPECT_TRUE(one == ReadFile(dir / "2" / name)) << name;
    }
}

TEST_F(Kvzaconv, BadArgumentsEndBeforeAnyFileIsTouched) {
    const std::string out = (dir / "out.bmp").string();
    for (const char *args :
         {"--resize 0x5", "--resize 12xa", "--reduce abc", "--reduce 1", "--filter cubic",
          "--dither 300", "--wrap mirror", "--alpha some", "--frame '#12'", "--type 999",
          "--type 'No Such Layout'", "--type 198", "--option Nope=1", "--option Dither=999",
          "--transparentize middle", "--frobnicate"}) {
        const Result r = Conv(input + " " + std::string(args) + " " + out, dir);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("Try 'kvzaconv --help'"), std::string::npos) << args << r.err;
        EXPECT_FALSE(fs::exists(out)) << args;
    }
    EXPECT_EQ(Conv(input, dir).status, 2);  // no output
    const Result help = Conv("--help >" + (dir / "help.txt").string(), dir);
    EXPECT_EQ(help.status, 0);
    const std::string text = ReadFile(dir / "help.txt");
    for (const char *option :
         {"--resize", "--filter",         "--wrap",       "--reduce",        "--alpha ",
          "--dither", "--grey",           "--alpha-map",  "--outline",       "--edge",
          "--frame",  "--transparentize", "--background", "--border-colour", "--type",
          "--option", "--list-types",     "--info",       "--out-dir",       "--ext",
          "--jobs",   "--progress",       "--version"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}

TEST_F(Kvzaconv, FailingFileIsReportedAndTheOthersGoOn) {
    const fs::path bad = dir / "bad.png", odd = dir / "odd.xyz";
    std::ofstream(bad) << "not a picture";
    std::ofstream(odd) << "nor this";
    const fs::path out = dir / "out";
    const Result r = Conv("--out-dir " + out.string() + " --ext tga " + input + " " + bad.string() +
                              " " + (dir / "missing.png").string() + " " + odd.string(),
                          dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.png: bad file format"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing.png: file not found"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("odd.xyz: 'kinxyz.so' cannot load"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(out / "in.tga"));
    EXPECT_FALSE(fs::exists(out / "bad.tga"));
    // --info on the same files.
    const Result info =
        Conv("--info " + input + " " + bad.string() + " >" + (dir / "info.txt").string(), dir);
    EXPECT_EQ(info.status, 1);
    const std::string text = ReadFile(dir / "info.txt");
    EXPECT_NE(text.find("size: 40 x 30"), std::string::npos) << text;
    EXPECT_NE(text.find("partly transparent"), std::string::npos) << text;
}

// Ctrl+C during a long reduction: a real signal to a real process.
TEST_F(Kvzaconv, InterruptLeavesNoPartialTarget) {
    const fs::path big = dir / "big.png";
    ASSERT_EQ(std::system(("convert -size 2500x2500 xc: +noise Random " + big.string()).c_str()),
              0);
    for (const bool existed : {false, true}) {
        const fs::path out = dir / "reduced.bmp";
        fs::remove(out);
        if (existed) std::ofstream(out) << "the user's file";
        int err[2];
        ASSERT_EQ(pipe(err), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            dup2(err[1], STDERR_FILENO);
            close(err[0]);
            execl(KVZACONV, KVZACONV, "--progress", big.c_str(), "--reduce", "256", out.c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        close(err[1]);
        // The reduction has begun once its progress shows.
        std::string seen;
        char buf[256];
        ssize_t n;
        while (seen.find("reduce") == std::string::npos && (n = read(err[0], buf, sizeof buf)) > 0)
            seen.append(buf, static_cast<size_t>(n));
        ASSERT_NE(seen.find("reduce"), std::string::npos) << seen;
        kill(pid, SIGINT);
        while ((n = read(err[0], buf, sizeof buf)) > 0) seen.append(buf, static_cast<size_t>(n));
        close(err[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(seen.find("canceled"), std::string::npos) << seen;
        if (existed)
            EXPECT_EQ(ReadFile(out), "the user's file");
        else
            EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(Kvzaconv, LoadsNoQt) {
    const std::string listing = (dir / "ldd.txt").string();
    ASSERT_EQ(std::system(("ldd " + std::string(KVZACONV) + " >" + listing).c_str()), 0);
    const std::string text = ReadFile(listing);
    EXPECT_NE(text.find("libkvza.so"), std::string::npos) << text;
    EXPECT_EQ(text.find("Qt"), std::string::npos) << text;
}

}  // namespace
