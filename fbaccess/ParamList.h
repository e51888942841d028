// The parameter list of the database connection and of the services: ordered lines of the form
// name=value. A line's name is its text before the first "=" (empty without one), its value
// everything after that "=", untrimmed. Names are looked up ignoring ASCII case.
#pragma once

#include "AsciiCase.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TParamList {
public:
    // Runs before every change; may throw to refuse it (the list then stays as it was).
    using TBeforeChange = std::function<void()>;
    // Runs after every change, also when a line is rewritten with the same text.
    using TAfterChange = std::function<void()>;

    TParamList() = default;
    TParamList(std::initializer_list<std::string> lines);
    // Copies the lines only; hooks belong to the owner.
    TParamList(const TParamList& other);
    TParamList& operator=(const TParamList& other);

    void SetOnBeforeChange(TBeforeChange hook) { FOnBeforeChange = std::move(hook); }
    void SetOnChange(TAfterChange hook) { FOnChange = std::move(hook); }

    std::size_t Count() const noexcept { return FLines.size(); }
    const std::string& Line(std::size_t index) const { return FLines.at(index); }
    const std::vector<std::string>& Lines() const noexcept { return FLines; }

    static std::string NameOf(std::string_view line);
    static std::string ValueOf(std::string_view line);

    // Index of the first line whose name equals name ignoring ASCII case, or -1.
    int IndexOfName(std::string_view name) const;
    // Value of that line, or empty.
    std::string Value(std::string_view name) const;
    // A non-empty value replaces that line in place (as name=value) or appends one; an empty
    // value deletes it.
    void SetValue(std::string_view name, std::string_view value);

    void Add(std::string line);
    void Put(std::size_t index, std::string line);
    void Delete(std::size_t index);
    void Clear();
    // Copies another list's lines (one change).
    void Assign(const TParamList& other);
    void Assign(std::vector<std::string> lines);
    void Assign(std::initializer_list<std::string> lines) { Assign(std::vector<std::string>(lines)); }

private:
    template <typename Change>
    void Modify(Change&& change);

    std::vector<std::string> FLines;
    TBeforeChange FOnBeforeChange;
    TAfterChange FOnChange;
};
