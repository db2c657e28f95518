#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// Lets one test program hold several test classes, one per behaviour, each in its own file:
// TARNWELL_TEST_CLASS(ReadingTest) registers one; the program's main runs them all in turn.
namespace tarnwell::testing {

using Factory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<Factory> &Registry()
{
    static std::vector<Factory> factories;
    return factories;
}

struct Registrar
{
    explicit Registrar(Factory factory) { Registry().push_back(std::move(factory)); }
};

} // namespace tarnwell::testing

#define TARNWELL_TEST_CLASS(Class)                                                                                     \
    static const tarnwell::testing::Registrar Class##Registrar{[] { return std::make_unique<Class>(); }};
