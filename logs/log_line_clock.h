// The program log's time of day text and day file name, formatted once per
// second and once per day rather than once per line: a call writes several
// lines, and formatting both texts per line showed in the call profile.
#pragma once

#include <ctime>

class LLogLineClock
{
  public:
    // Brings both texts to the local time of now. True when the file name
    // changed (the first time, and at the date change).
    bool Update(time_t now);
    // Forgets the texts: the next Update formats both again.
    void Reset() { m_valid = false; }
    const char *TimeText() const { return m_timeText; }
    const char *FileName() const { return m_fileName; }

  private:
    bool m_valid = false;
    time_t m_second = 0;
    int m_day = -1; // year * 400 + day of the year
    char m_timeText[16] = "";
    char m_fileName[64] = "";
};
