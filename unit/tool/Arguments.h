#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::cli {

// The words of one subcommand, from which options are taken one by one; what no option
// claimed is left over in order.
class Arguments
{
public:
    Arguments(int argc, char** argv, int first);

    // Takes "--name VALUE" (or "-o VALUE" for a short name). False when the option is there
    // without a value; value stays empty when the option is absent.
    bool takeValue(std::string_view name, std::optional<std::string>& value);
    // Takes "--name"; true when it was there.
    bool takeFlag(std::string_view name);
    const std::vector<std::string>& rest() const { return m_words; }

private:
    std::vector<std::string> m_words;
};

// Parses a decimal number up to limit.
bool ParseNumber(const std::string& text, unsigned long limit, unsigned long& value);

} // namespace tavo::cli
