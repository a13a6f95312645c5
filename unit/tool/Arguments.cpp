#include "Arguments.h"

#include <algorithm>
#include <charconv>

namespace tavo::cli {

Arguments::Arguments(int argc, char** argv, int first)
{
    for (int i = first; i < argc; ++i)
        m_words.emplace_back(argv[i]);
}

bool Arguments::takeValue(std::string_view name, std::optional<std::string>& value)
{
    const auto at = std::find(m_words.begin(), m_words.end(), name);
    if (at == m_words.end())
        return true;
    if (at + 1 == m_words.end())
        return false;
    value = *(at + 1);
    m_words.erase(at, at + 2);
    return true;
}

bool Arguments::takeFlag(std::string_view name)
{
    const auto at = std::find(m_words.begin(), m_words.end(), name);
    if (at == m_words.end())
        return false;
    m_words.erase(at);
    return true;
}

bool ParseNumber(const std::string& text, unsigned long limit, unsigned long& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && value <= limit;
}

} // namespace tavo::cli
