#pragma once

class QString;

// The page buttons of the gateway and device lists. The current and total page live in the texts
// of the paging labels; a text that is not a number reads as 0.
enum class PageButton { First, Previous, Next, Last };

int pageNumberFromLabel(const QString &text);

// Gateway list: the next and previous buttons stay on the page at the ends.
int gatewayTargetPage(PageButton button, int current, int total);

// Device list: the same, compared as signed numbers.
int deviceTargetPage(PageButton button, int current, int total);
