#include "output_host.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "dynlib.h"
#include "plugin_names.h"
#include "safe_replace.h"

namespace kvzaedit {

namespace {

// Extensions that spell one format two ways: the short and the long one.
const char *const kSpellings[][2] = {{"jpg", "jpeg"}, {"tif", "tiff"}};

std::string Upper(std::string text) {
    for (char &c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

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

    // The hints are optional; their texts are copied before the library goes.
    TypeHints hints;
    if (const auto hint = reinterpret_cast<KotTypeHintFn>(lib.sym("kot_typehint"))) {
        for (int id = 0; id < 256; ++id) {
            if (((table.usable[id / 8] >> (id % 8)) & 1) == 0) continue;
            if (const char *text = hint(id); text != nullptr && *text != '\0')
                hints[static_cast<int16_t>(id)] = text;
        }
    }
    if (ui.RunSaveDialog(&table, options, hints) != 0) return 1;

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

std::vector<PluginFormat> PluginFormats(PluginDir dir, const std::string &folder) {
    std::set<std::string> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string ext = DefaultNameExtension(dir, it->path().filename().string());
        std::error_code ignored;  // a broken link is no plug-in
        if (!ext.empty() && it->is_regular_file(ignored)) found.insert(ext);
    }

    std::vector<PluginFormat> formats;
    for (const auto &spelling : kSpellings) {
        if (found.count(spelling[0]) != 0 && found.count(spelling[1]) != 0) {
            formats.push_back({Upper(spelling[1]), {spelling[0], spelling[1]}});
            found.erase(spelling[0]);
            found.erase(spelling[1]);
        }
    }
    for (const std::string &ext : found) formats.push_back({Upper(ext), {ext}});
    std::sort(formats.begin(), formats.end(),
              [](const PluginFormat &a, const PluginFormat &b) { return a.name < b.name; });
    return formats;
}

}  // namespace kvzaedit
