// conv_ui.h - kvzaconv as the front end of the plug-in hosts and the
// document: messages are kept as the reason of a failure, the save dialog's
// choices come from the command line, and progress goes to a sink that
// draws it (or sends it to the parent of a batch). Ctrl+C cancels through
// the progress records.
#pragma once

#include <cstdint>
#include <string>

#include "host_ui.h"
#include "save_choices.h"

namespace kvzaconv {

// Where the progress of one file goes: the step ("load", "reduce", "save")
// and how far it is.
struct ProgressSink {
    virtual ~ProgressSink() = default;
    virtual void Report(const char *step, uint32_t done, uint32_t total) = 0;
};

// From now on SIGINT and SIGTERM ask every running operation to stop.
void InstallCancelHandler();
bool CancelRequested();

class ConvUi : public kvzaedit::HostUi {
  public:
    ConvUi(const SaveSettings &save, ProgressSink *sink) : save_(save), sink_(sink) {}

    // The first message of the run: the reason a file failed.
    const std::string &Message() const { return message_; }
    // The step the next progress record reports.
    void SetStep(const char *step) { step_ = step; }
    // The layout the image was read in, preferred when the writer offers it.
    void SetReadType(int16_t type) { read_type_ = type; }

    void ErrorBox(const std::string &text) override;
    int RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options,
                      const kvzaedit::TypeHints &hints) override;
    KvzaProgress *OpenProgress() override;
    void CloseProgress() override {}

  private:
    static int32_t Callback(void *self, uint32_t done, uint32_t total);

    SaveSettings save_;
    ProgressSink *sink_;
    const char *step_ = "";
    int16_t read_type_ = 0;
    std::string message_;
    KvzaProgress progress_{};
};

}  // namespace kvzaconv
