// The SQL statement of the call-log table is a user-editable template in
// which "%name%" stands for a value of the call. Values are inserted as SQL
// string content, so quotes are doubled and control characters dropped.
#pragma once

#include <cstddef>

// Longest value text before its quotes are doubled.
constexpr size_t kSqlValueMax = 259;
// Longest statement.
constexpr size_t kSqlStatementMax = 1023;

struct LSqlArgument {
    const char *name;
    const char *value;
};

// Appends value to out (at most size - 1 bytes in all): control characters
// dropped, the rest cut at kSqlValueMax bytes, then each "'" doubled. The
// cut is made before doubling, so a quote is never left without its pair.
// Returns false when out had no room for the whole escaped value.
bool LSqlAppendValue(char *out, size_t size, size_t &length, const char *value);

// Expands the template into out: text outside "%" pairs is copied, a name
// between two "%" is replaced by the escaped value of the argument of that
// name (case-sensitive; unknown names and "%%" give nothing), and a "%"
// without a closing one is copied as it is. Returns false, with out empty,
// when the statement would pass kSqlStatementMax characters or size - 1, so
// that a cut statement is never executed.
bool LSqlExpandTemplate(char *out, size_t size, const char *sqlTemplate, const LSqlArgument *args,
                        int count);
