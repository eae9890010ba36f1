#include "output_host.h"

#include "dynlib.h"
#include "safe_replace.h"

namespace kvzaedit {

int SaveWithPlugin(const std::string &path, const std::string &library, KvzaImage *image,
                   KotSaveOptions *options, HostUi &ui) {
    if (image == nullptr) return 1;

    DynLib lib;  // unloaded on every return below
    if (!lib.open(library)) {
        ui.ErrorBox("'" + library + "' cannot load");
        return 1;
    }
    const auto get_table = reinterpret_cast<KotGetUsableTblImgFn>(lib.sym("kot_getusabletbl_img"));
    if (get_table == nullptr) {
        ui.ErrorBox("'kot_getusabletbl_img' not found");
        return 1;
    }
    const auto save = reinterpret_cast<KotSaveFn>(lib.sym("kot_save"));
    if (save == nullptr) {
        ui.ErrorBox("'kot_save' not found");
        return 1;
    }

    // The plug-in's table is copied into a buffer of the agreed size.
    KotUsableTable table{};
    static_assert(sizeof table == KOT_USABLE_TABLE_SIZE);
    if (get_table(&table, KOT_USABLE_TABLE_SIZE, image) != 0) {
        ui.ErrorBox("'kot_getusabletbl_img' failed");
        return 1;
    }

    if (ui.RunSaveDialog(&table, options) != 0) return 1;

    // The writer fills a temporary file beside the target, which takes the
    // target's place only when the writer has finished it.
    SafeReplace replace(path);
    KvzaProgress *progress = ui.OpenProgress();  // may be null: save without progress
    int32_t status = save(image, replace.WritePath().c_str(), options, progress);
    ui.CloseProgress();
    if (status == KOT_FAILED || status == KOT_CANCELED) {
        replace.Abandon();
    } else if (!replace.Commit()) {
        status = KOT_FAILED;
    }

    if (status == KOT_FAILED) {
        ui.ErrorBox("failed");
        return 1;
    }
    if (status == KOT_CANCELED) {
        ui.ErrorBox("canceled");
        return 1;
    }
    if (options != nullptr) options->valid = 1;
    return 0;
}

}  // namespace kvzaedit
