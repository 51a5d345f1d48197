#pragma once
// Number texts take their separators from the user's locale at start-up.

#include "util/NumberText.h"

class QLocale;

// The decimal and thousands separators of a locale, as UTF-8.
NumberSeparators SeparatorsOf(const QLocale& locale);

// Makes every number text use the separators of the system locale.
void UseSystemNumberSeparators();
