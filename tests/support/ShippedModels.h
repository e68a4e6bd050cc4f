#pragma once

#include <BinaryData.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

/** The two weight sets exactly as the program embeds them. */
struct ShippedModel
{
    const char* name;
    const char* data;
    int size;

    nlohmann::json parse() const { return nlohmann::json::parse (std::string (data, (size_t) size)); }
};

inline std::vector<ShippedModel> shippedModels()
{
    return { { "model96", BinaryData::model96_json, BinaryData::model96_jsonSize },
             { "model192", BinaryData::model192_json, BinaryData::model192_jsonSize } };
}
