// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

// A failure with the text shown to the user (or the system's own error text, passed on unchanged).
struct Error {
    QString message;
};

// The value of an operation that can fail, or the reason it failed.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(Error error) : m_data(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_data); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return std::get<T>(m_data); }
    T &value() { return std::get<T>(m_data); }
    const T &operator*() const { return value(); }
    const T *operator->() const { return &value(); }
    const Error &error() const { return std::get<Error>(m_data); }

private:
    std::variant<T, Error> m_data;
};

// Success without a value.
struct Done {};
