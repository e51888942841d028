#include "ParamList.h"

TParamList::TParamList(std::initializer_list<std::string> lines) : FLines(lines) {}

TParamList::TParamList(const TParamList& other) : FLines(other.FLines) {}

TParamList& TParamList::operator=(const TParamList& other)
{
    if (this != &other)
        Assign(other);
    return *this;
}

std::string TParamList::NameOf(std::string_view line)
{
    const auto eq = line.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(line.substr(0, eq));
}

std::string TParamList::ValueOf(std::string_view line)
{
    const auto eq = line.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(line.substr(eq + 1));
}

int TParamList::IndexOfName(std::string_view name) const
{
    for (std::size_t i = 0; i < FLines.size(); ++i)
        if (AsciiEqualNoCase(NameOf(FLines[i]), name))
            return static_cast<int>(i);
    return -1;
}

std::string TParamList::Value(std::string_view name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? std::string() : ValueOf(FLines[static_cast<std::size_t>(index)]);
}

template <typename Change>
void TParamList::Modify(Change&& change)
{
    if (FOnBeforeChange)
        FOnBeforeChange();
    change();
    if (FOnChange)
        FOnChange();
}

void TParamList::SetValue(std::string_view name, std::string_view value)
{
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(static_cast<std::size_t>(index));
        return;
    }
    std::string line = std::string(name) + "=" + std::string(value);
    if (index >= 0)
        Put(static_cast<std::size_t>(index), std::move(line));
    else
        Add(std::move(line));
}

void TParamList::Add(std::string line)
{
    Modify([&] { FLines.push_back(std::move(line)); });
}

void TParamList::Put(std::size_t index, std::string line)
{
    (void)FLines.at(index);
    Modify([&] { FLines[index] = std::move(line); });
}

void TParamList::Delete(std::size_t index)
{
    (void)FLines.at(index);
    Modify([&] { FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(index)); });
}

void TParamList::Clear()
{
    if (FLines.empty())
        return;
    Modify([&] { FLines.clear(); });
}

void TParamList::Assign(const TParamList& other)
{
    Assign(other.FLines);
}

void TParamList::Assign(std::vector<std::string> lines)
{
    Modify([&] { FLines = std::move(lines); });
}
