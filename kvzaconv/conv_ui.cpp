#include "conv_ui.h"

#include <signal.h>

namespace kvzaconv {

namespace {

volatile sig_atomic_t g_cancel = 0;

void OnSignal(int) {
    g_cancel = 1;
}

// The callback runs after this many counted steps (a pixel each, mostly):
// often enough for a prompt cancel, seldom enough to cost nothing.
constexpr uint32_t kInterval = 4095;

}  // namespace

void InstallCancelHandler() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool CancelRequested() {
    return g_cancel != 0;
}

void ConvUi::ErrorBox(const std::string &text) {
    if (message_.empty()) message_ = text;
}

int ConvUi::RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options,
                          const kvzaedit::TypeHints &) {
    if (table == nullptr || options == nullptr) return 1;
    const KotSaveOptions chosen = OptionsFor(*table, save_, read_type_);
    if (chosen.type == 0) {
        ErrorBox("the writer offers no layout chosen for this image (see --list-types)");
        return 1;
    }
    options->type = chosen.type;
    options->switches = chosen.switches;
    for (int i = 0; i < KOT_MAX_TRACKS; ++i) options->track[i] = chosen.track[i];
    return 0;
}

KvzaProgress *ConvUi::OpenProgress() {
    progress_ = KvzaProgress{};
    progress_.callback = &ConvUi::Callback;
    progress_.userdata = this;
    progress_.interval = kInterval;
    return &progress_;
}

int32_t ConvUi::Callback(void *self, uint32_t done, uint32_t total) {
    auto *ui = static_cast<ConvUi *>(self);
    if (ui->sink_ != nullptr) ui->sink_->Report(ui->step_, done, total);
    return CancelRequested() ? 1 : 0;
}

}  // namespace kvzaconv
