#pragma once
// The pages of k417-service: which content goes into which tab. A new page
// is a page class under its subsystem's ui/ folder and one line here.

#include "shell/Page.h"

#include <vector>

std::vector<PageEntry> ServicePages();
