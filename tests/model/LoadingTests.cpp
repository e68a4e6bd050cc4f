// How a model object is read: every failure is the JSON library's exception (or its style for a
// short array), loading stops at the first bad key, and nothing reads past an array's end.

#include <support/ShippedModels.h>
#include <model/Tovani.h>

#include <gtest/gtest.h>

namespace
{
using Subnet = Tovani::Subnet<float, 12>;
using Cell = Tovani::HyperGRU<float, 12, 2>;

nlohmann::json validModel() { return shippedModels().front().parse(); }

template <typename Exception, typename Load>
std::string failureOf (Load&& load)
{
    try
    {
        load();
    }
    catch (const Exception& e)
    {
        return e.what();
    }
    return "no exception";
}

bool contains (const std::string& text, const std::string& part) { return text.find (part) != std::string::npos; }
} // namespace

TEST (ModelLoading, RefusesMalformedModelsWithTheLibrarysMessages)
{
    {
        auto model = validModel();
        model.erase ("rnn.prelayers.4.bias");
        Subnet subnet;
        EXPECT_TRUE (contains (failureOf<nlohmann::json::type_error> ([&] { subnet.loadParams (model); }),
                               "type must be array, but is null"));
    }
    {
        auto model = validModel();
        model["rnn.proj_ih.bias"] = 3.5;
        Subnet subnet;
        EXPECT_TRUE (contains (failureOf<nlohmann::json::type_error> ([&] { subnet.loadParams (model); }),
                               "type must be array, but is number"));
    }
    {
        auto model = validModel();
        model["rnn.prelayers.0.bias"][5] = "loud";
        Subnet subnet;
        EXPECT_TRUE (contains (failureOf<nlohmann::json::type_error> ([&] { subnet.loadParams (model); }),
                               "type must be number, but is string"));
    }
    {
        nlohmann::json model;   // null: becomes an empty object, then misses its first key
        Subnet subnet;
        EXPECT_TRUE (contains (failureOf<nlohmann::json::type_error> ([&] { subnet.loadParams (model); }),
                               "type must be array, but is null"));
        EXPECT_TRUE (model.is_object());
    }
    {
        auto model = nlohmann::json::array ({ 1, 2, 3 });
        Cell cell;
        EXPECT_TRUE (contains (failureOf<nlohmann::json::type_error> ([&] { cell.loadParams (model); }),
                               "cannot use operator[] with a string argument with array"));
    }
}

TEST (ModelLoading, RefusesShortArraysBeforeReadingPastThem)
{
    auto model = validModel();
    auto& hh = model["rnn.proj_hh.weight"];
    hh.erase (hh.begin() + 100, hh.end());

    Subnet subnet;
    const auto message = failureOf<nlohmann::json::out_of_range> ([&] { subnet.loadParams (model); });
    EXPECT_TRUE (contains (message, "rnn.proj_hh.weight")) << message;
    EXPECT_TRUE (contains (message, "100")) << message;

    auto cellModel = validModel();
    cellModel["linear_out.weight"] = nlohmann::json::array ({ 0.5, 0.5 });
    Cell cell;
    EXPECT_THROW (cell.loadParams (cellModel), nlohmann::json::exception);

    Tovani::LinearT<float, 16, 16> layer;
    EXPECT_THROW (layer.setWeight (std::vector<float> (255, 1.0f)), std::invalid_argument);
}

TEST (ModelLoading, StopsAtTheFirstFailingKey)
{
    auto model = validModel();
    model.erase ("rnn.proj_ih.bias");

    Subnet subnet;
    EXPECT_THROW (subnet.loadParams (model), nlohmann::json::type_error);

    const auto weights = model["rnn.proj_ih.weight"].get<std::vector<float>>();
    EXPECT_EQ (subnet.projIhWeight (3, 5), weights[5 * 16 + 3]);   // loaded before the gap
    EXPECT_TRUE (subnet.projIhBias.isZero());                       // the failing key
    EXPECT_TRUE (subnet.projHhWeight.isZero());                     // never reached
    EXPECT_TRUE (subnet.projHhBias.isZero());

    auto withoutOutput = validModel();
    withoutOutput.erase ("linear_out.weight");
    Subnet complete;
    Cell cell;
    EXPECT_NO_THROW (complete.loadParams (withoutOutput));
    EXPECT_THROW (cell.loadParams (withoutOutput), nlohmann::json::type_error);
}

TEST (ModelLoading, PlacesWeightsTransposedAndAcceptsAnyNumberForm)
{
    auto model = validModel();
    auto out = nlohmann::json::array();
    for (int i = 0; i < 24; ++i)
        out.push_back (i);
    out[0] = true;
    out[1] = false;
    out.push_back (99.0);   // longer than needed: the surplus is ignored
    model["linear_out.weight"] = out;

    Cell cell;
    cell.loadParams (model);
    EXPECT_EQ (cell.outWeight (0, 0), 1.0f);
    EXPECT_EQ (cell.outWeight (1, 0), 0.0f);
    EXPECT_EQ (cell.outWeight (5, 0), 5.0f);
    EXPECT_EQ (cell.outWeight (0, 1), 12.0f);   // element (unit j, channel c) = w[c × 12 + j]
    EXPECT_EQ (cell.outWeight (11, 1), 23.0f);

    Subnet subnet;
    subnet.loadParams (model);
    const auto in = model["rnn.prelayers.0.weight"].get<std::vector<float>>();
    EXPECT_EQ (subnet.inWeight (1, 7), in[7 * 2 + 1]);
    const auto layer = model["rnn.prelayers.2.weight"].get<std::vector<float>>();
    EXPECT_EQ (subnet.prelayer2.weight (4, 9), layer[9 * 16 + 4]);
}
