#include "save_choices.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "pixtypes.h"

namespace kvzaconv {

namespace {

bool Usable(const KotUsableTable &table, int id) {
    return id > 0 && id < 256 && ((table.usable[id / 8] >> (id % 8)) & 1) != 0;
}

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool SameName(const char *caption, const std::string &name) {
    return caption != nullptr && Lower(caption) == Lower(name);
}

// "switch3", "track0": the index after the prefix, or -1.
int IndexAfter(const std::string &name, const char *prefix, int limit) {
    const std::string p = prefix;
    if (name.size() <= p.size() || Lower(name.substr(0, p.size())) != p) return -1;
    int value = 0;
    for (size_t i = p.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
        value = value * 10 + (name[i] - '0');
        if (value >= limit) return -1;
    }
    return value;
}

bool ParseLong(const std::string &text, long &out) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

// The range of a track bar, its ends in either order.
void TrackRange(const KotTrackSpec &t, long &lo, long &hi) {
    lo = t.min < t.max ? t.min : t.max;
    hi = t.min < t.max ? t.max : t.min;
}

// The position of no dithering on the dither track: 0, or the end nearest it.
int16_t NoDither(const KotTrackSpec &t) {
    long lo = 0, hi = 0;
    TrackRange(t, lo, hi);
    return static_cast<int16_t>(0 < lo ? lo : 0 > hi ? hi : 0);
}

int TrackCount(const KotUsableTable &table) {
    return table.track_count < KOT_MAX_TRACKS ? table.track_count : KOT_MAX_TRACKS;
}

}  // namespace

bool ReadWriterTable(const std::string &library, WriterTable &out, std::string &error) {
    kvzaedit::DynLib &lib = out.lib;
    if (!lib.open(library)) {
        error = "'" + library + "' cannot load";
        return false;
    }
    const auto get_table = reinterpret_cast<KotGetUsableTblFn>(lib.sym("kot_getusabletbl"));
    if (get_table == nullptr) {
        error = "'kot_getusabletbl' not found";
        return false;
    }
    const KotUsableTable *table = get_table();
    if (table == nullptr) {
        error = "'kot_getusabletbl' failed";
        return false;
    }
    out.table = *table;
    out.hints.clear();
    if (const auto hint = reinterpret_cast<KotTypeHintFn>(lib.sym("kot_typehint"))) {
        for (int id = 1; id < 256; ++id)
            if (Usable(out.table, id))
                if (const char *text = hint(id); text != nullptr && *text != '\0')
                    out.hints[static_cast<int16_t>(id)] = text;
    }
    return true;
}

bool ResolveSave(const WriterTable &writer, const SaveChoice &choice, SaveSettings &out,
                 std::string &error) {
    const KotUsableTable &table = writer.table;
    out = SaveSettings{};
    if (!choice.type.empty()) {
        long id = 0;
        if (ParseLong(choice.type, id)) {
            if (kot::pixtype_index(static_cast<int>(id)) < 0) {
                error = "unknown type " + choice.type;
                return false;
            }
        } else {
            id = 0;
            for (const kot::PixType &t : kot::kPixTypes)
                if (SameName(t.caption, choice.type)) id = t.id;
            if (id == 0) {
                error = "unknown type '" + choice.type + "'";
                return false;
            }
        }
        if (!Usable(table, static_cast<int>(id))) {
            error = "the writer does not offer type '" + choice.type + "' (see --list-types)";
            return false;
        }
        out.type = static_cast<int16_t>(id);
    }
    out.switches = table.switch_defaults;
    const int tracks = TrackCount(table);
    for (int i = 0; i < tracks; ++i) out.track[i] = table.track[i].position;
    // A conversion must not change pixels unasked: no dithering by default.
    if (tracks > 0) out.track[0] = NoDither(table.track[0]);
    for (const auto &[name, value] : choice.options) {
        int sw = IndexAfter(name, "switch", KOT_MAX_SWITCHES);
        int tr = IndexAfter(name, "track", tracks);
        for (int i = 0; i < KOT_MAX_SWITCHES && sw < 0 && tr < 0; ++i)
            if ((table.switch_mask >> i & 1) != 0 && SameName(table.switch_name[i], name)) sw = i;
        for (int i = 0; i < tracks && sw < 0 && tr < 0; ++i)
            if (SameName(table.track[i].name, name)) tr = i;
        if (sw >= 0 && (table.switch_mask >> sw & 1) != 0) {
            const std::string v = Lower(value);
            if (v == "on" || v == "1" || v == "yes" || v == "true") {
                out.switches = static_cast<uint16_t>(out.switches | 1u << sw);
            } else if (v == "off" || v == "0" || v == "no" || v == "false") {
                out.switches = static_cast<uint16_t>(out.switches & ~(1u << sw));
            } else {
                error = "option '" + name + "' is a switch: on or off, not '" + value + "'";
                return false;
            }
            continue;
        }
        if (tr >= 0) {
            long lo = 0, hi = 0, v = 0;
            TrackRange(table.track[tr], lo, hi);
            if (!ParseLong(value, v) || v < lo || v > hi) {
                error = "option '" + name + "' takes a number from " + std::to_string(lo) + " to " +
                        std::to_string(hi) + ", not '" + value + "'";
                return false;
            }
            out.track[tr] = static_cast<int16_t>(v);
            continue;
        }
        error = "the writer has no option '" + name + "' (see --list-types)";
        return false;
    }
    return true;
}

KotSaveOptions OptionsFor(const KotUsableTable &table, const SaveSettings &settings,
                          int16_t read_type) {
    KotSaveOptions o{};
    if (settings.type != 0) {
        o.type = Usable(table, settings.type) ? settings.type : 0;
    } else if (Usable(table, read_type)) {
        o.type = read_type;
    } else {
        for (const kot::PixType &t : kot::kPixTypes)
            if (Usable(table, t.id)) {
                o.type = t.id;
                break;
            }
    }
    o.switches = settings.switches;
    for (int i = 0; i < KOT_MAX_TRACKS; ++i) o.track[i] = settings.track[i];
    return o;
}

void PrintTypes(std::FILE *out, const WriterTable &writer) {
    const KotUsableTable &table = writer.table;
    std::fprintf(out, "Layouts (--type ID or caption), in the save dialog's order:\n");
    for (const kot::PixType &t : kot::kPixTypes) {
        if (!Usable(table, t.id)) continue;
        std::fprintf(out, "  %3d  %s\n", t.id, t.caption);
        if (const auto hint = writer.hints.find(t.id); hint != writer.hints.end())
            std::fprintf(out, "       (%s)\n", hint->second.c_str());
    }
    std::fprintf(out, "Options (--option NAME=VALUE):\n");
    const int tracks = TrackCount(table);
    for (int i = 0; i < tracks; ++i) {
        const KotTrackSpec &t = table.track[i];
        long lo = 0, hi = 0;
        TrackRange(t, lo, hi);
        const int def = i == 0 ? NoDither(t) : t.position;
        std::fprintf(out, "  track%d  \"%s\"  %ld..%ld, default %d", i,
                     t.name != nullptr ? t.name : "", lo, hi, def);
        if (def != t.position) std::fprintf(out, " (%d in the save dialog)", t.position);
        std::fprintf(out, "\n");
    }
    for (int i = 0; i < KOT_MAX_SWITCHES; ++i) {
        if ((table.switch_mask >> i & 1) == 0) continue;
        std::fprintf(out, "  switch%d  \"%s\"  on/off, default %s\n", i,
                     table.switch_name[i] != nullptr ? table.switch_name[i] : "",
                     (table.switch_defaults >> i & 1) != 0 ? "on" : "off");
    }
}

}  // namespace kvzaconv
