#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace Tovani
{

/** Reads model[key] as a flat array of at least `count` numbers.

    A missing key or a value of the wrong type raises the JSON library's type_error; an array
    that is too short raises its out_of_range error, so that a truncated model is refused before
    anything reads past the end of its data. Booleans load as 1 and 0, as the library converts them.
*/
inline std::vector<float> readModelArray (nlohmann::json& model, const std::string& key, std::size_t count)
{
    auto& value = model[key];
    auto numbers = value.get<std::vector<float>>();

    if (numbers.size() < count)
        throw nlohmann::json::out_of_range::create (
            401,
            "array '" + key + "' holds " + std::to_string (numbers.size()) + " numbers, but "
                + std::to_string (count) + " are needed",
            &value);

    return numbers;
}

/** Fills `target` (inputs × outputs) from a row-major [output][input] weight array, so that a
    row vector of inputs multiplies it from the left. */
template <typename Matrix>
void setTransposedWeights (Matrix& target, const std::vector<float>& w)
{
    const auto numInputs = target.rows();

    for (Eigen::Index o = 0; o < target.cols(); ++o)
        for (Eigen::Index i = 0; i < numInputs; ++i)
            target (i, o) = w[static_cast<std::size_t> (o * numInputs + i)];
}

/** Fills a bias row in order. */
template <typename Row>
void setBias (Row& target, const std::vector<float>& b)
{
    for (Eigen::Index i = 0; i < target.size(); ++i)
        target (i) = b[static_cast<std::size_t> (i)];
}

} // namespace Tovani
