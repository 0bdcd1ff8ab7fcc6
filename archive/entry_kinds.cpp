#include "archive/entry_kinds.h"

#include "io/names.h"

namespace zok {

namespace {

// The writing side: the kind name chooses the codec, the codec's family the kind byte.
constexpr EntryKindRule kWriteRules[] = {
    {"BMP", CCodecTable::kBmp, EntryKind::PngStream},
    {"PNG", CCodecTable::kPng, EntryKind::PngStream},
    {"OLD", CCodecTable::kStored, EntryKind::Other},
    {"", CCodecTable::kText, EntryKind::Other},
};

}  // namespace

const EntryKindRule& RuleForKindName(std::string_view kindName) {
    for (const EntryKindRule& rule : kWriteRules) {
        if (*rule.kindName != '\0' && EqualsNoCase(kindName, rule.kindName)) {
            return rule;
        }
    }
    return kWriteRules[std::size(kWriteRules) - 1];
}

const EntryKindRule& WriteRuleFor(std::string_view cp949Name) {
    return RuleForKindName(KindName(cp949Name));
}

std::optional<EntryReadRule> ReadRuleFor(EntryKind kind, std::string_view cp949Name) {
    switch (kind) {
        case EntryKind::None:
            // Extracted like a stored bitmap; never decoded.
            return EntryReadRule{CCodecTable::kBmp, ContentRead::Copy, false, false};
        case EntryKind::BmpFile:
            return EntryReadRule{CCodecTable::kBmp, ContentRead::Copy, false, true};
        case EntryKind::PngStream:
            return EntryReadRule{CCodecTable::kPng, ContentRead::Copy, true, true};
        case EntryKind::Other:
            // Written by the codec its name chose: "old" means stored unchanged.
            if (WriteRuleFor(cp949Name).codec == CCodecTable::kStored) {
                return EntryReadRule{CCodecTable::kStored, ContentRead::Copy, false, false};
            }
            return EntryReadRule{CCodecTable::kText, ContentRead::Inflate, false, false};
    }
    return std::nullopt;
}

bool ExtractsAsBmp(EntryKind kind, std::string_view cp949Name) {
    return kind == EntryKind::PngStream && WriteRuleFor(cp949Name).codec == CCodecTable::kBmp;
}

}  // namespace zok
