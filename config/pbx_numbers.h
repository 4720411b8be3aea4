// Record names used as numbers (extensions, groups).
#pragma once

// The leading decimal number of name as atoi reads it, saturated instead of
// overflowing; a name without leading digits gives 0.
long long LPBXNameNumber(const char *name);

// max(highest + 1, floor) as an int, saturated at the largest int.
int LPBXNextNumber(long long highest, int floor);
