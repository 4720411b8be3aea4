#include "logs/log_line_clock.h"

#include "logs/program_log.h"

bool LLogLineClock::Update(time_t now)
{
    if (m_valid && now == m_second)
        return false;
    tm local{};
    localtime_r(&now, &local);
    LLogFormatTime(m_timeText, sizeof m_timeText, local);
    int day = local.tm_year * 400 + local.tm_yday;
    bool changed = !m_valid || day != m_day;
    if (changed)
        LLogFileName(m_fileName, sizeof m_fileName, local);
    m_valid = true;
    m_second = now;
    m_day = day;
    return changed;
}
