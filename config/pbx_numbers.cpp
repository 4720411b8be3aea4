#include "config/pbx_numbers.h"

#include <cctype>
#include <climits>

long long LPBXNameNumber(const char *name)
{
    const char *p = name;
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long n = 0;
    for (; isdigit(static_cast<unsigned char>(*p)); ++p) {
        n = n * 10 + (*p - '0');
        if (n > INT_MAX)
            n = INT_MAX;
    }
    return negative ? -n : n;
}

int LPBXNextNumber(long long highest, int floor)
{
    long long next = highest + 1;
    if (next < floor)
        next = floor;
    return next > INT_MAX ? INT_MAX : static_cast<int>(next);
}
