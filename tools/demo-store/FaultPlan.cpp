#include "FaultPlan.h"

#include <charconv>

namespace {

bool parseNumber(const std::string& text, std::int64_t& number) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && number >= 0;
}

bool parseFlag(const std::string& text) {
    return text.empty() || text == "1" || text == "true";
}

} // namespace

bool FaultPlan::set(const std::string& name, const std::string& value) {
    std::int64_t number = 0;
    if (name == "ignore-range")
        ignoreRange = parseFlag(value);
    else if (name == "change-on-range")
        changeOnRange = parseFlag(value);
    else if (name == "no-length")
        noContentLength = parseFlag(value);
    else if (name == "partial-for-plain")
        partialForPlain = parseFlag(value);
    else if (name == "wrong-start")
        wrongStart = parseFlag(value);
    else if (name == "unsatisfiable")
        unsatisfiable = parseFlag(value);
    else if (name == "ignore-if-range")
        ignoreIfRange = parseFlag(value);
    else if (name == "no-validator")
        noValidator = parseFlag(value);
    else if (name == "drop-after" && parseNumber(value, number))
        dropAfter = number;
    else if (name == "status" && parseNumber(value, number) && number >= 100 && number < 600)
        status = static_cast<int>(number);
    else if (name == "slow" && parseNumber(value, number))
        bytesPerSecond = number;
    else if (name == "page-delay" && parseNumber(value, number))
        pageDelay = number;
    else
        return false;
    return true;
}

FaultPlan FaultPlan::fromQuery(const std::map<std::string, std::string>& query) {
    FaultPlan plan;
    for (const auto& [name, value] : query)
        plan.set(name, value);
    return plan;
}
