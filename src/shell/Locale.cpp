#include "shell/Locale.h"

#include <QLocale>

NumberSeparators SeparatorsOf(const QLocale& locale)
{
    NumberSeparators separators;
    separators.decimal = locale.decimalPoint().toStdString();
    separators.thousands = locale.groupSeparator().toStdString();
    // A locale without either keeps the usual one rather than none.
    if (separators.decimal.empty())
        separators.decimal = ".";
    if (separators.thousands.empty() || separators.thousands == separators.decimal)
        separators.thousands = separators.decimal == "," ? "." : ",";
    return separators;
}

void UseSystemNumberSeparators()
{
    SetNumberSeparators(SeparatorsOf(QLocale::system()));
}
