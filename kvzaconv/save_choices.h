// save_choices.h - the writer's layouts and options as the command line
// chooses them: the save dialog's choices made without a dialog.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "args.h"
#include "dynlib.h"
#include "host_ui.h"
#include "kot.h"

namespace kvzaconv {

// The writer's table as kot_getusabletbl gives it, with its layouts' hints;
// the library stays loaded while the table (its captions) is in use.
struct WriterTable {
    kvzaedit::DynLib lib;
    KotUsableTable table{};
    kvzaedit::TypeHints hints;
};

// Loads the writer library and reads its table; false with the reason
// (the editor's words: "'kotxyz.so' cannot load", ...).
bool ReadWriterTable(const std::string &library, WriterTable &out, std::string &error);

// The choices checked against the writer's table.
struct SaveSettings {
    int16_t type = 0;  // 0: the layout the image was read in when offered, else the first
    uint16_t switches = 0;
    int16_t track[KOT_MAX_TRACKS] = {};
};

// Resolves --type and --option against the table; false with the reason.
bool ResolveSave(const WriterTable &writer, const SaveChoice &choice, SaveSettings &out,
                 std::string &error);

// The options of one save with the table the writer gives for the image:
// the layout chosen (0 when it is not offered for this image), the switches
// and track positions.
KotSaveOptions OptionsFor(const KotUsableTable &table, const SaveSettings &settings,
                          int16_t read_type);

// Prints the layouts, their hints and the options with their defaults.
void PrintTypes(std::FILE *out, const WriterTable &writer);

}  // namespace kvzaconv
