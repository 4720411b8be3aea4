#include "logs/call_log.h"

#include "config/folders.h"
#include "config/pbx_global_settings.h"
#include "logs/odbc_database.h"
#include "logs/program_log.h"
#include "logs/sql_template.h"
#include "platform/log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
const char kLineEnd[] = "\r\n";

tm LocalTime(time_t t)
{
    tm local{};
    localtime_r(&t, &local);
    return local;
}

// Copies text without control characters into out (at most max bytes).
size_t CopyPrintable(char *out, size_t max, const char *text)
{
    size_t n = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p && n < max;
         p++) {
        if (*p >= 0x20 && *p != 0x7f)
            out[n++] = static_cast<char>(*p);
    }
    out[n] = 0;
    return n;
}

// Shortens text to at most max bytes without splitting a UTF-8 sequence.
size_t CutUtf8(char *text, size_t length, size_t max)
{
    if (length <= max)
        return length;
    size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
        cut--;
    text[cut] = 0;
    return cut;
}

// Splits the room for the two party texts: each gets half, and what one
// does not need goes to the other.
void FitParties(char *from, size_t &fromLen, char *to, size_t &toLen, size_t room)
{
    if (fromLen + toLen <= room)
        return;
    size_t half = room / 2;
    if (fromLen <= half)
        toLen = CutUtf8(to, toLen, room - fromLen);
    else if (toLen <= half)
        fromLen = CutUtf8(from, fromLen, room - toLen);
    else {
        fromLen = CutUtf8(from, fromLen, half);
        toLen = CutUtf8(to, toLen, room - fromLen);
    }
}

// The content of a quoted CSV cell (RFC 4180): quotes doubled, and a text
// that a spreadsheet would take as a formula (= + - @) led by "'" so that it
// is shown as text.
std::string CsvCellText(const char *text)
{
    std::string cell;
    if (*text == '=' || *text == '+' || *text == '-' || *text == '@')
        cell += '\'';
    for (const char *p = text; *p; p++) {
        cell += *p;
        if (*p == '"')
            cell += '"';
    }
    return cell;
}

void LogToDatabase(const LCallLogEntry &entry, time_t end)
{
    char dsn[LPathSize], user[LPathSize], password[LPathSize];
    LPBXSettings::DbLogDsn.Get(dsn);
    LPBXSettings::DbLogUserName.Get(user);
    LPBXSettings::DbLogPassword.Get(password);
    LODBCDatabase db(dsn, user, password);
    if (!db.IsOpen()) {
        LOGERRORF("Unable to open database %s (username %s)", dsn, user);
        LOGERRORTEXT("ODBC: ", db.GetError());
        return;
    }
    tm start = LocalTime(entry.start);
    char date[48], time[48], total[24], talk[24];
    std::snprintf(date, sizeof date, "%.4d-%.2d-%.2d", start.tm_year + 1900, start.tm_mon + 1,
                  start.tm_mday);
    std::snprintf(time, sizeof time, "%.2d:%.2d:%.2d", start.tm_hour, start.tm_min, start.tm_sec);
    std::snprintf(total, sizeof total, "%ld", LCallLogTotalSeconds(entry, end));
    std::snprintf(talk, sizeof talk, "%ld", LCallLogTalkSeconds(entry, end));
    const LSqlArgument args[] = {{"date", date},
                                 {"time", time},
                                 {"from", entry.from},
                                 {"to", entry.to},
                                 {"durationtotal", total, true},
                                 {"duration", talk, true}};
    char sqlTemplate[LPathSize];
    LPBXSettings::DbLogSql.Get(sqlTemplate);
    char sql[kSqlStatementMax + 1];
    std::vector<LSqlParameter> parameters;
    if (!LSqlPrepareTemplate(sql, sizeof sql, sqlTemplate, args, 6, parameters)) {
        LOGERROR("SQL Command FAILED");
        LOGERROR("SQL command longer than 1023 characters; not executed");
        return;
    }
    LOGTEXT("Executing SQL command: ", sql);
    if (!db.SQLCommand(sql, parameters)) {
        LOGERROR("SQL Command FAILED");
        LOGERRORTEXT("ODBC: ", db.GetError());
    }
}
} // namespace

void LCallLogEntrySet(LCallLogEntry &entry, time_t start, time_t answer, const char *from,
                      const char *to)
{
    entry.start = start;
    entry.answer = answer;
    std::snprintf(entry.from, sizeof entry.from, "%s", from ? from : "");
    std::snprintf(entry.to, sizeof entry.to, "%s", to ? to : "");
}

long LCallLogTotalSeconds(const LCallLogEntry &entry, time_t end)
{
    // A clock set back during the call must not give negative durations.
    return end > entry.start ? static_cast<long>(end - entry.start) : 0;
}

long LCallLogTalkSeconds(const LCallLogEntry &entry, time_t end)
{
    if (entry.answer == 0 || end <= entry.answer)
        return 0;
    return static_cast<long>(end - entry.answer);
}

void LCallLogFormatDuration(char *out, size_t size, long seconds)
{
    std::snprintf(out, size, "%.2ld:%.2ld", seconds / 60, seconds % 60);
}

size_t LCallLogFormatLine(char *out, size_t size, const LCallLogEntry &entry, time_t end)
{
    if (size < kCallLogLineMax + 1) {
        if (size)
            out[0] = 0;
        return 0;
    }
    tm start = LocalTime(entry.start);
    char total[24], talk[24];
    LCallLogFormatDuration(total, sizeof total, LCallLogTotalSeconds(entry, end));
    LCallLogFormatDuration(talk, sizeof talk, LCallLogTalkSeconds(entry, end));
    char head[96];
    int headLen = std::snprintf(head, sizeof head, "%.4d-%.2d-%.2d,%.2d:%.2d:%.2d,%s,%s,",
                                start.tm_year + 1900, start.tm_mon + 1, start.tm_mday,
                                start.tm_hour, start.tm_min, start.tm_sec, total, talk);
    char from[kCallLogPartySize], to[kCallLogPartySize];
    size_t fromLen = CopyPrintable(from, sizeof from - 1, entry.from);
    size_t toLen = CopyPrintable(to, sizeof to - 1, entry.to);
    // Four quotes, the comma between the parties and the line end.
    size_t fixed = static_cast<size_t>(headLen) + 5 + (sizeof kLineEnd - 1);
    size_t room = kCallLogLineMax > fixed ? kCallLogLineMax - fixed : 0;
    std::string fromCell, toCell;
    // Doubled quotes and the formula guard make a cell longer than its text:
    // the texts are shortened by the excess until the cells fit.
    for (size_t textRoom = room;;) {
        FitParties(from, fromLen, to, toLen, textRoom);
        fromCell = CsvCellText(from);
        toCell = CsvCellText(to);
        size_t cells = fromCell.size() + toCell.size();
        if (cells <= room || textRoom == 0)
            break;
        size_t over = cells - room;
        textRoom = fromLen + toLen > over ? fromLen + toLen - over : 0;
    }
    int n = std::snprintf(out, size, "%s\"%s\",\"%s\"%s", head, fromCell.c_str(), toCell.c_str(),
                          kLineEnd);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

void LCallLogFileName(char *out, size_t size, time_t start)
{
    tm local = LocalTime(start);
    std::snprintf(out, size, "%.4d-%.2d Phone Log.csv", local.tm_year + 1900, local.tm_mon + 1);
}

bool LLogMonthlyWrite(time_t time, const char *name, const char *text)
{
    tm local = LocalTime(time);
    char fileName[LPathSize];
    std::snprintf(fileName, sizeof fileName, "%.4d-%.2d %s", local.tm_year + 1900, local.tm_mon + 1,
                  name);
    return LLogWrite(fileName, text);
}

bool LCallLogWrite(const LCallLogEntry &entry)
{
    time_t end = entry.end ? entry.end : time(nullptr);
    LOGF("Call %s -> %s disconnected", entry.from, entry.to);
    char line[kCallLogLineMax + 1];
    size_t length = LCallLogFormatLine(line, sizeof line, entry, end);
    bool written = LLogMonthlyWrite(entry.start, "Phone Log.csv", line);
    if (!written) {
        // A full disk or a broken log folder must not lose the record
        // unseen: the error line carries it to the service's listeners.
        int error = errno;
        char fileName[LPathSize];
        LCallLogFileName(fileName, sizeof fileName, entry.start);
        if (length >= 2)
            line[length - 2] = 0;
        LOGERRORF("Call record not written to \"%s\" (%s): %s", fileName, strerror(error), line);
    }
    if (LPBXSettings::DbLogEnabled.Get())
        LogToDatabase(entry, end);
    return written;
}
