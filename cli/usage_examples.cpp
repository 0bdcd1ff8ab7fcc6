#include "cli/commands.h"

const std::vector<UsageExample>& UsageExamples() {
    static const std::vector<UsageExample> examples = {
        {"zok create assets.zok notes.txt logo.png", "Pack two files, in that order."},
        {"zok create assets.zok assets/",
         "Pack a folder's files (subfolders too) in sorted order; the archive holds file names "
         "only, so two files of one name are refused."},
        {"zok create - *.txt | ssh host 'cat > texts.zok'",
         "Write the archive to the standard output."},
        {"zok list assets.zok '*.png'", "List the PNG entries with their sizes and a total."},
        {"zok extract -C out assets.zok", "Write every entry into the folder out."},
        {"zok extract -n -v -C out assets.zok '*.txt'",
         "Write the text entries, keep files that exist already, and name each file written."},
        {"ssh host cat pics.zok | zok extract -C out -",
         "Extract an archive read from the standard input."},
        {"zok cat assets.zok notes.txt | less", "Show one entry's content."},
        {"zok test -q assets.zok && echo sound", "Check every entry; only problems are printed."},
        {"zok update --only-changed assets.zok assets/",
         "Put the files that changed in place of their entries and add the new ones; every other "
         "entry is copied as it is stored."},
        {"zok delete assets.zok '*.tmp' old-logo.png", "Delete entries by name or pattern."},
        {"zok upgrade old.zok", "Rewrite a version 1.0.0 archive as old110.zok."},
    };
    return examples;
}
