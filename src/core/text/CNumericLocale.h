#pragma once
// The C library writes and reads numbers (printf, strtod and every library built on them, such
// as the workbook writer) with the numeric part of its locale, and Qt sets that locale from the
// environment when the application object is made: under Finnish or German settings 7.1 is
// printed "7,1". This program leaves the process's locale as Qt made it (QLocale::system(),
// which the CSV and the certificate file follow, reads the environment itself) and instead
// runs each call into such a library inside a CNumericLocaleScope: while the object lives, and
// in the calling thread only, numbers use the point; character classes, messages and every
// other thread keep what they had.
namespace kelotari {

class CNumericLocaleScope {
public:
    CNumericLocaleScope();
    ~CNumericLocaleScope();
    CNumericLocaleScope(const CNumericLocaleScope&) = delete;
    CNumericLocaleScope& operator=(const CNumericLocaleScope&) = delete;

    // False when the system could not make the locale (out of memory): then nothing was
    // changed, and a caller that needs the point must not go on.
    bool active() const { return m_locale != nullptr; }

private:
    void* m_locale = nullptr;   // locale_t of this scope
    void* m_previous = nullptr; // the thread's locale before it
};

} // namespace kelotari
