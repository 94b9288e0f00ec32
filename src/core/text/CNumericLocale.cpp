#include "text/CNumericLocale.h"

#include <clocale>
#include <locale.h>

namespace kelotari {

CNumericLocaleScope::CNumericLocaleScope() {
    // The thread's current locale (the process's, unless the thread chose its own), with only
    // its numbers made the C library's own.
    const locale_t current = ::uselocale(static_cast<locale_t>(nullptr));
    const locale_t copy = ::duplocale(current);
    if (!copy)
        return;
    const locale_t numeric = ::newlocale(LC_NUMERIC_MASK, "C", copy);
    if (!numeric) {
        ::freelocale(copy); // newlocale leaves its base alone when it fails
        return;
    }
    m_previous = ::uselocale(numeric);
    m_locale = numeric;
}

CNumericLocaleScope::~CNumericLocaleScope() {
    if (!m_locale)
        return;
    ::uselocale(static_cast<locale_t>(m_previous));
    ::freelocale(static_cast<locale_t>(m_locale));
}

} // namespace kelotari
