// Crafted messages on which a reader that searches the rest of the text again and again takes
// quadratic time: their shapes, and the table of their timings at several sizes.
#pragma once

#include <cstddef>
#include <vector>

// Times the summary line or the viewer text of every crafted shape at each size (in bytes) and
// prints one table row per shape, with the ratio of the last two sizes' times. Returns 0.
int PrintCraftedTable(const std::vector<std::size_t>& sizes);
