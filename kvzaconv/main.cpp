// kvzaconv - the editor's formats and edits from the command line: the same
// plug-ins, settings file and document operations as the editor, without
// any toolkit.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "args.h"
#include "batch.h"
#include "conv_ui.h"
#include "convert.h"
#include "dynlib.h"
#include "input_host.h"
#include "kvza_version.h"
#include "plugin_names.h"
#include "progress_display.h"
#include "save_choices.h"
#include "settings_place.h"

namespace {

using namespace kvzaconv;
using kvzaedit::PluginDir;
using kvzaedit::PluginLibraryName;

constexpr char kVersion[] = "kvzaconv " KVZA_VERSION;

int UsageError(const std::string &text) {
    std::fprintf(stderr, "kvzaconv: %s\nTry 'kvzaconv --help' for more information.\n",
                 text.c_str());
    return 2;
}

// The progress of an in-process conversion, drawn directly.
struct DisplaySink : ProgressSink {
    DisplaySink(ProgressDisplay &d, size_t s) : display(d), slot(s) {}
    void Report(const char *step, uint32_t done, uint32_t total) override {
        display.Update(slot, step, done, total);
    }
    ProgressDisplay &display;
    size_t slot;
};

// The writer for an output extension and the save settings checked against
// its table; 0, or the exit status.
int PrepareWriter(const std::string &ext, const SaveChoice &choice, std::string &library,
                  WriterTable &writer, SaveSettings &save) {
    library = PluginLibraryName(PluginDir::Output, "out." + ext);
    std::string error;
    if (!ReadWriterTable(library, writer, error)) {
        std::fprintf(stderr, "kvzaconv: %s\n", error.c_str());
        return 1;
    }
    if (!ResolveSave(writer, choice, save, error)) return UsageError(error);
    return 0;
}

std::string ExtensionOf(const std::string &path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

// The settings entries a child may read (the readers of its file's
// extension, taken already, and of the second try) are read, and so
// written when missing, here first: the children then only read the file.
void SettleSettings() {
    for (const char *ext : {"png", "jpg"})
        PluginLibraryName(PluginDir::Input, std::string("x.") + ext);
}

int RunConvert(const Args &args, bool show, bool terminal) {
    Job job;
    job.input = args.files[0];
    job.output = args.files[1];
    const std::string ext = ExtensionOf(job.output);
    if (ext.empty())
        return UsageError("'" + job.output + "' has no extension to choose a writer by");
    WriterTable writer;
    SaveSettings save;
    if (const int status = PrepareWriter(ext, args.save, job.output_library, writer, save))
        return status;
    job.input_library = PluginLibraryName(PluginDir::Input, job.input);
    ProgressDisplay display(show, terminal);
    DisplaySink sink(display, display.Start(job.input));
    std::string reason;
    const bool ok = ConvertFile(job, args, save, &sink, reason);
    display.Clear();
    if (!ok) std::fprintf(stderr, "kvzaconv: %s: %s\n", job.input.c_str(), reason.c_str());
    return ok ? 0 : 1;
}

int RunBatch(const Args &args, bool show, bool terminal) {
    WriterTable writer;
    SaveSettings save;
    std::string output_library;
    if (const int status = PrepareWriter(args.ext, args.save, output_library, writer, save))
        return status;
    std::error_code ec;
    std::filesystem::create_directories(args.out_dir, ec);
    if (!std::filesystem::is_directory(args.out_dir, ec))
        return UsageError("cannot make the output folder '" + args.out_dir + "'");
    std::vector<Job> jobs;
    std::map<std::string, std::string> taken;  // output -> its input
    size_t failed = 0;
    for (const std::string &input : args.files) {
        Job job;
        job.input = input;
        job.output = (std::filesystem::path(args.out_dir) /
                      (std::filesystem::path(input).stem().string() + "." + args.ext))
                         .string();
        job.output_library = output_library;
        job.input_library = PluginLibraryName(PluginDir::Input, input);
        if (const auto [at, fresh] = taken.emplace(job.output, input); !fresh) {
            std::fprintf(stderr, "kvzaconv: %s: same output name as '%s'\n", input.c_str(),
                         at->second.c_str());
            ++failed;
            continue;
        }
        jobs.push_back(job);
    }
    SettleSettings();
    unsigned parallel = args.jobs;
    if (parallel == 0) parallel = std::max(1U, std::thread::hardware_concurrency());
    ProgressDisplay display(show, terminal);
    failed += RunJobs(jobs, args, save, parallel, display);
    return failed == 0 ? 0 : 1;
}

int RunInfo(const Args &args) {
    int status = 0;
    for (const std::string &file : args.files) {
        std::string reason;
        if (!PrintInfo(stdout, file, PluginLibraryName(PluginDir::Input, file), reason)) {
            std::fprintf(stderr, "kvzaconv: %s: %s\n", file.c_str(), reason.c_str());
            status = 1;
        }
    }
    return status;
}

int RunListTypes(const Args &args) {
    WriterTable writer;
    std::string error;
    const std::string ext =
        !args.list_ext.empty() && args.list_ext[0] == '.' ? args.list_ext.substr(1) : args.list_ext;
    const std::string library = PluginLibraryName(PluginDir::Output, "out." + ext);
    if (ext.empty() || !ReadWriterTable(library, writer, error)) {
        std::fprintf(stderr, "kvzaconv: %s\n", ext.empty() ? "no extension given" : error.c_str());
        return 1;
    }
    std::printf("Writer %s\n", library.c_str());
    PrintTypes(stdout, writer);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, args, error)) return UsageError(error);
    if (args.mode == Mode::Help) {
        std::fputs(HelpText(), stdout);
        return 0;
    }
    if (args.mode == Mode::Version) {
        std::printf("%s\n", kVersion);
        return 0;
    }
    // The settings file and the plug-ins are the editor's: beside the
    // program, or the user's own settings for an installed copy.
    kvzaedit::UseProgramSettings(kvzaedit::ProgramDir());
    InstallCancelHandler();
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const bool show = terminal || args.progress;
    switch (args.mode) {
        case Mode::ListTypes:
            return RunListTypes(args);
        case Mode::Info:
            return RunInfo(args);
        case Mode::Batch:
            return RunBatch(args, show, terminal);
        default:
            return RunConvert(args, show, terminal);
    }
}
