#pragma once
// How one printing went, for the packet reports and the certificate alike.

namespace kelotari {

// Cancelled: the PDF printer's file dialog was cancelled or overwriting refused; nothing was
// printed and nothing is to be said.
enum class PrintResult { Printed, Cancelled, Failed };

} // namespace kelotari
