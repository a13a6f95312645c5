#include "app/SystemLanguage.h"

#include <array>

namespace {

struct LanguageEntry
{
    QLocale::Language language;
    QLocale::Territory territory; // AnyTerritory: the language's default sublanguage
    std::uint32_t id;
};

// The default sublanguage of each language comes last among its entries. French has none:
// the first start takes French for 0x040C alone, and any other French locale must not
// become it.
constexpr std::array kLanguages{
    LanguageEntry{QLocale::French, QLocale::France, 0x040C},
    LanguageEntry{QLocale::French, QLocale::Belgium, 0x080C},
    LanguageEntry{QLocale::French, QLocale::Canada, 0x0C0C},
    LanguageEntry{QLocale::French, QLocale::Switzerland, 0x100C},
    LanguageEntry{QLocale::French, QLocale::Luxembourg, 0x140C},
    LanguageEntry{QLocale::French, QLocale::Monaco, 0x180C},
    LanguageEntry{QLocale::English, QLocale::UnitedStates, 0x0409},
    LanguageEntry{QLocale::English, QLocale::UnitedKingdom, 0x0809},
    LanguageEntry{QLocale::English, QLocale::Australia, 0x0C09},
    LanguageEntry{QLocale::English, QLocale::Canada, 0x1009},
    LanguageEntry{QLocale::English, QLocale::NewZealand, 0x1409},
    LanguageEntry{QLocale::English, QLocale::Ireland, 0x1809},
    LanguageEntry{QLocale::English, QLocale::SouthAfrica, 0x1C09},
    LanguageEntry{QLocale::English, QLocale::India, 0x4009},
    LanguageEntry{QLocale::English, QLocale::AnyTerritory, 0x0409},
    LanguageEntry{QLocale::German, QLocale::Germany, 0x0407},
    LanguageEntry{QLocale::German, QLocale::Switzerland, 0x0807},
    LanguageEntry{QLocale::German, QLocale::Austria, 0x0C07},
    LanguageEntry{QLocale::German, QLocale::Luxembourg, 0x1007},
    LanguageEntry{QLocale::German, QLocale::AnyTerritory, 0x0407},
    LanguageEntry{QLocale::Italian, QLocale::Switzerland, 0x0810},
    LanguageEntry{QLocale::Italian, QLocale::AnyTerritory, 0x0410},
    LanguageEntry{QLocale::Spanish, QLocale::Spain, 0x0C0A},
    LanguageEntry{QLocale::Spanish, QLocale::Mexico, 0x080A},
    LanguageEntry{QLocale::Spanish, QLocale::AnyTerritory, 0x0C0A},
    LanguageEntry{QLocale::Portuguese, QLocale::Brazil, 0x0416},
    LanguageEntry{QLocale::Portuguese, QLocale::AnyTerritory, 0x0816},
    LanguageEntry{QLocale::Dutch, QLocale::Belgium, 0x0813},
    LanguageEntry{QLocale::Dutch, QLocale::AnyTerritory, 0x0413},
    LanguageEntry{QLocale::Danish, QLocale::AnyTerritory, 0x0406},
    LanguageEntry{QLocale::Swedish, QLocale::AnyTerritory, 0x041D},
    LanguageEntry{QLocale::NorwegianBokmal, QLocale::AnyTerritory, 0x0414},
    LanguageEntry{QLocale::Finnish, QLocale::AnyTerritory, 0x040B},
    LanguageEntry{QLocale::Polish, QLocale::AnyTerritory, 0x0415},
    LanguageEntry{QLocale::Czech, QLocale::AnyTerritory, 0x0405},
    LanguageEntry{QLocale::Hungarian, QLocale::AnyTerritory, 0x040E},
    LanguageEntry{QLocale::Greek, QLocale::AnyTerritory, 0x0408},
    LanguageEntry{QLocale::Turkish, QLocale::AnyTerritory, 0x041F},
    LanguageEntry{QLocale::Russian, QLocale::AnyTerritory, 0x0419},
    LanguageEntry{QLocale::Chinese, QLocale::Taiwan, 0x0404},
    LanguageEntry{QLocale::Chinese, QLocale::HongKong, 0x0C04},
    LanguageEntry{QLocale::Chinese, QLocale::AnyTerritory, 0x0804},
    LanguageEntry{QLocale::Japanese, QLocale::AnyTerritory, 0x0411},
    LanguageEntry{QLocale::Korean, QLocale::AnyTerritory, 0x0412},
    LanguageEntry{QLocale::Arabic, QLocale::AnyTerritory, 0x0401},
    LanguageEntry{QLocale::Hebrew, QLocale::AnyTerritory, 0x040D},
};

constexpr std::uint32_t kEnglishUs = 0x0409;

} // namespace

std::uint32_t LanguageIdOf(const QLocale& locale)
{
    for (const LanguageEntry& entry : kLanguages) {
        if (entry.language != locale.language())
            continue;
        if (entry.territory == QLocale::AnyTerritory || entry.territory == locale.territory())
            return entry.id;
    }
    return kEnglishUs;
}

std::uint32_t SystemLanguageId()
{
    return LanguageIdOf(QLocale::system());
}
