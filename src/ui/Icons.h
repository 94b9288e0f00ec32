#pragma once
// The program's own small icons, drawn as vector shapes: the same look on every desktop, sharp
// at any scaling, and nothing to decode. Each call makes a new icon; keep and share it (QIcon
// copies share their picture and its rendered sizes).
#include <QIcon>

namespace kelotari::icons {

QIcon folder();
QIcon openFolder();
QIcon setup();
QIcon transfer(); // Transfer and Clear
QIcon save();
QIcon quit();

} // namespace kelotari::icons
