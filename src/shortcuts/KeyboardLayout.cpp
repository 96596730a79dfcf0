// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/KeyboardLayout.h"

#include <array>
#include <utility>

namespace KeyboardLayout {

namespace {

LayoutSource &source()
{
    static LayoutSource current;
    return current;
}

// The US layout (pc105) with no modifier, by key code: what the layout library gives for it.
constexpr std::array<std::pair<int, char16_t>, 65> usKeys{{
    {9, 0x1B},    {10, u'1'},  {11, u'2'},   {12, u'3'},  {13, u'4'},  {14, u'5'},  {15, u'6'},  {16, u'7'},
    {17, u'8'},   {18, u'9'},  {19, u'0'},   {20, u'-'},  {21, u'='},  {22, 0x08},  {23, u'\t'}, {24, u'q'},
    {25, u'w'},   {26, u'e'},  {27, u'r'},   {28, u't'},  {29, u'y'},  {30, u'u'},  {31, u'i'},  {32, u'o'},
    {33, u'p'},   {34, u'['},  {35, u']'},   {36, u'\r'}, {38, u'a'},  {39, u's'},  {40, u'd'},  {41, u'f'},
    {42, u'g'},   {43, u'h'},  {44, u'j'},   {45, u'k'},  {46, u'l'},  {47, u';'},  {48, u'\''}, {49, u'`'},
    {51, u'\\'},  {52, u'z'},  {53, u'x'},   {54, u'c'},  {55, u'v'},  {56, u'b'},  {57, u'n'},  {58, u'm'},
    {59, u','},   {60, u'.'},  {61, u'/'},   {63, u'*'},  {65, u' '},  {82, u'-'},  {86, u'+'},  {94, u'<'},
    {104, u'\r'}, {106, u'/'}, {109, u'\n'}, {119, 0x7F}, {125, u'='}, {126, 0xB1}, {129, u'.'}, {187, u'('},
    {188, u')'},
}};

QStringList currentLayout()
{
    if (source()) {
        if (std::optional<QStringList> layout = source()(); layout && layout->size() == 256)
            return *layout;
    }
    return usLayout();
}

} // namespace

void setLayoutSource(LayoutSource layoutSource)
{
    source() = std::move(layoutSource);
}

QStringList usLayout()
{
    QStringList layout(256);
    for (const auto &[code, character] : usKeys)
        layout[code] = QString(QChar(character));
    return layout;
}

QString character(int keyCode)
{
    if (keyCode < 8 || keyCode > 255)
        return {};
    return currentLayout().at(keyCode);
}

std::optional<int> keyCodeFor(QChar c)
{
    const QStringList layout = currentLayout();
    const QString wanted(c);
    for (int keyCode = 8; keyCode <= 255; ++keyCode) {
        if (layout.at(keyCode) == wanted)
            return keyCode;
    }
    return std::nullopt;
}

} // namespace KeyboardLayout
