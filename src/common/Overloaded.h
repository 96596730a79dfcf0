// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One visitor from several lambdas, for std::visit: a variant alternative that no lambda takes does not
// compile, so a new kind must be handled wherever kinds are visited.
template <typename... Handlers> struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <typename... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;
