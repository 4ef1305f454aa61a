#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace kartovo {

// Why an operation refused. The caller decides from the kind how to show it:
// the window asks or warns, the headless runner logs and picks an exit status.
enum class RefusalKind {
    BadInput,    // the file, card or value given cannot be used
    NotFound,    // what was asked for is not there (file, parameter, column)
    Database,    // the database refused or is unreachable
    Io,          // a file could not be read or written
    Cancelled,   // the operator or a newer request stopped it
};

struct Refusal {
    RefusalKind kind = RefusalKind::BadInput;
    QString text; // Polish, shown to the operator as it stands
};

// The value of an operation that may be refused, or its refusal. Core code
// returns it instead of showing a message; it never holds both.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Refusal refusal) : m_state(std::in_place_index<1>, std::move(refusal)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Refusal& refusal() const { return std::get<1>(m_state); }
    // The refusal's text, empty when the operation succeeded.
    QString error() const { return ok() ? QString() : refusal().text; }

private:
    std::variant<T, Refusal> m_state;
};

// An operation with nothing to return but its refusal.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Refusal refusal) : m_refusal(std::move(refusal)) {}

    bool ok() const { return !m_refusal.has_value(); }
    explicit operator bool() const { return ok(); }
    const Refusal& refusal() const { return *m_refusal; }
    QString error() const { return ok() ? QString() : m_refusal->text; }

private:
    std::optional<Refusal> m_refusal;
};

inline Refusal Refuse(RefusalKind kind, QString text) { return Refusal{kind, std::move(text)}; }

} // namespace kartovo
