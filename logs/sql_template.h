// The SQL statement of the call-log table is a user-editable template in
// which "%name%" stands for a value of the call. The values are bound to the
// statement as parameters rather than written into its text: escaping rules
// differ between servers (some take "\" as an escape), binding has none.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Longest value text.
constexpr size_t kSqlValueMax = 259;
// Longest statement.
constexpr size_t kSqlStatementMax = 1023;

struct LSqlArgument {
    const char *name;
    const char *value;
    bool number = false; // bound as an integer, not as text
};

// One parameter of a prepared statement, in the order of its "?".
struct LSqlParameter {
    std::string value; // control characters dropped, cut at kSqlValueMax bytes
    bool number = false;
};

// Turns the template into a statement with parameter markers: each "%name%"
// of a known argument becomes "?" (a pair of single quotes right around it,
// as in '%from%', goes with it) and its value is appended to parameters.
// Unknown names and "%%" give nothing. Returns false, with out empty, when
// the statement would pass kSqlStatementMax characters or size - 1.
bool LSqlPrepareTemplate(char *out, size_t size, const char *sqlTemplate, const LSqlArgument *args,
                         int count, std::vector<LSqlParameter> &parameters);
