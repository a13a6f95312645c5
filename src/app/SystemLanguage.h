#pragma once

#include <QLocale>
#include <cstdint>

// The Windows language identifier (primary language in the low 10 bits, sublanguage above)
// of a locale, as the system default language identifier gives it: fr_FR gives 0x040C,
// fr_CA 0x0C0C, en_US 0x0409. A language without its own country entry gets its primary
// language's default sublanguage, except French: the program starts in French only for the
// French of France (0x040C), so a French locale the table does not name (fr_SN) gets, as a
// language not in the table does, 0x0409 (English, US).
std::uint32_t LanguageIdOf(const QLocale& locale);

// LanguageIdOf(QLocale::system()).
std::uint32_t SystemLanguageId();
