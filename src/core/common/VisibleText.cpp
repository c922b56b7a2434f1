#include "VisibleText.h"

#include <QList>

#include <algorithm>
#include <clocale>
#include <cwchar>
#include <locale.h>

namespace norvane {

namespace {
constexpr char32_t ControlPictures = 0x2400;
constexpr char32_t DeletePicture = 0x2421;
constexpr char32_t Delete = 0x7F;

bool isHiddenFormatting(char32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E ||
           c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool needsReplacing(char32_t c) {
    return c < 0x20 || c == Delete || isHiddenFormatting(c);
}

// The C library's character widths, from its built-in UTF-8 locale, which
// every thread may use whatever the program's own locale is.
locale_t widthLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    return locale;
}

} // namespace

QString visibleText(const QString& text) {
    // Every character replaced lies in the basic plane, so the UTF-16 units
    // can be looked at one by one; surrogates pass unchanged. A text with
    // nothing to replace, as most are, is shared rather than copied.
    const auto first = std::find_if(text.cbegin(), text.cend(),
                                    [](QChar unit) { return needsReplacing(unit.unicode()); });
    if (first == text.cend())
        return text;
    QString shown = text;
    for (auto unit = shown.begin() + (first - text.cbegin()); unit != shown.end(); ++unit) {
        const char32_t c = unit->unicode();
        if (c < 0x20)
            *unit = QChar(char16_t(ControlPictures + c));
        else if (c == Delete)
            *unit = QChar(char16_t(DeletePicture));
        else if (isHiddenFormatting(c))
            *unit = QChar(QChar::ReplacementCharacter);
    }
    return shown;
}

qsizetype displayWidth(const QString& text) {
    const locale_t locale = widthLocale();
    if (locale == locale_t(nullptr))
        return text.toUcs4().size();
    const locale_t previous = uselocale(locale);
    qsizetype width = 0;
    for (const char32_t c : text.toUcs4()) {
        const int columns = wcwidth(static_cast<wchar_t>(c));
        width += columns < 0 ? 1 : columns;
    }
    uselocale(previous);
    return width;
}

} // namespace norvane
