#pragma once
// Small helpers for checking results in tests.

#include <exception>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// The what() of the exception the action throws, or "(no exception)".
inline std::string message_of(const std::function<void()>& action)
{
    try {
        action();
    }
    catch (const std::exception& error) {
        return error.what();
    }
    return "(no exception)";
}

// The record times of a model, in order.
template <class Model>
std::vector<std::uint32_t> times_of(const Model& model)
{
    std::vector<std::uint32_t> times;
    for (const auto& record : model.records)
        times.push_back(record->time);
    return times;
}

} // namespace testsupport
