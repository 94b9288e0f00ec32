#pragma once
// The user's specifications in the settings file, section [LotCheck]:
//
//   Count=2
//   Current=1
//   Spec1=name=Shipping dry;upper=24;share=97
//   Spec2=name=Kiln 12\3B joinery;target=12;deviation=1.5;lower=10;upper=14;share=90
//
// Count says how many SpecN keys belong to the list; Current is the current one's N, 0 for
// none. A specification is fields "label=value" joined by ";"; numbers are percentages with
// "." as decimal mark whatever the locale; a field left out is not given. In the name a
// backslash followed by two hexadecimal digits stands for that character: it is written so
// for "\", ";", the quotes, control characters, and a blank at either end, so the profile
// reader (which trims values and strips quotes) gives back exactly the name written.
// Everything else, "=", "[", "%", "<b>" and letters beyond ASCII included, is written as it
// is; the profile decides the file's encoding as for every other key.
#include "lot/LotSpec.h"

#include <QString>

namespace kelotari {

class IniProfile;

inline constexpr char kLotSection[] = "LotCheck";

struct LotSpecsRead {
    LotSpecList list;
    bool present = false; // the section holds a list (possibly an empty one)
    int dropped = 0;      // stored specifications that were damaged and left out
};

// Reads the list as far as it is sound: a damaged specification (a field that cannot be
// read, or values the input rules would refuse) is left out and the others are kept; a
// damaged Count reads the keys Spec1, Spec2, ... up to the first missing one; a Current that
// does not name a specification read gives none. At most kMaxLotSpecs are read. Without a
// list in the file, the ready-made specification (named readyMadeName), not current.
LotSpecsRead readLotSpecs(const IniProfile& settings, const QString& readyMadeName);

// Writes the list into the profile's section, in memory; every other line stays as it was.
// Keys of a longer list written before are emptied. At most kMaxLotSpecs are written, names
// cut at kMaxLotSpecNameLength characters (the dialog allows no more).
void writeLotSpecs(IniProfile& settings, const LotSpecList& list);

// One specification's value and back; decoding gives nothing for a damaged value.
QString encodeLotSpec(const LotSpec& spec);
std::optional<LotSpec> decodeLotSpec(const QString& value);

} // namespace kelotari
