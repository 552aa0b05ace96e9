#include "platform/DosDate.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

bool UnixToDosDateTime(time_t T, uint32_t& DosDateTime) {
    struct tm Tm {};
    if (!localtime_r(&T, &Tm))
        return false;
    int Year = Tm.tm_year + 1900;
    if (Year < 1980 || Year > 2107)
        return false;
    uint32_t Date = uint32_t((Year - 1980) << 9 | (Tm.tm_mon + 1) << 5 | Tm.tm_mday);
    uint32_t Time = uint32_t(Tm.tm_hour << 11 | Tm.tm_min << 5 | Tm.tm_sec / 2);
    DosDateTime = Date << 16 | Time;
    return true;
}

uint32_t NearestDosDateTime(time_t T) {
    uint32_t DosDateTime = 0;
    if (UnixToDosDateTime(T, DosDateTime))
        return DosDateTime;
    struct tm Tm {};
    const bool Late = localtime_r(&T, &Tm) ? Tm.tm_year + 1900 > 2107 : T > 0;
    return Late ? (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u) : (1u << 5 | 1u) << 16;
}

time_t DosDateTimeToUnix(uint32_t DosDateTime) {
    struct tm Tm {};
    uint32_t Date = DosDateTime >> 16, Time = DosDateTime & 0xFFFF;
    Tm.tm_year = int((Date >> 9) & 0x7F) + 80;
    Tm.tm_mon = int((Date >> 5) & 0x0F) - 1;
    Tm.tm_mday = int(Date & 0x1F);
    Tm.tm_hour = int((Time >> 11) & 0x1F);
    Tm.tm_min = int((Time >> 5) & 0x3F);
    Tm.tm_sec = int(Time & 0x1F) * 2;
    Tm.tm_isdst = -1;
    return mktime(&Tm);
}

std::string DosDateTimeToText(uint32_t DosDateTime) {
    uint32_t Date = DosDateTime >> 16, Time = DosDateTime & 0xFFFF;
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + ((Date >> 9) & 0x7F),
                  (Date >> 5) & 0x0F, Date & 0x1F, (Time >> 11) & 0x1F, (Time >> 5) & 0x3F,
                  (Time & 0x1F) * 2);
    return Buf;
}

bool FileSetDosDate(const std::string& Path, uint32_t DosDateTime) {
    struct timespec Times[2];
    Times[0].tv_sec = Times[1].tv_sec = DosDateTimeToUnix(DosDateTime);
    Times[0].tv_nsec = Times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, Path.c_str(), Times, 0) == 0;
}

namespace {

// Days from 1 January 1970 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t Y, int64_t M, int64_t D) {
    Y -= M <= 2;
    const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
    const int64_t YoE = Y - Era * 400;
    const int64_t DoY = (153 * (M > 2 ? M - 3 : M + 9) + 2) / 5 + D - 1;
    const int64_t DoE = YoE * 365 + YoE / 4 - YoE / 100 + DoY;
    return Era * 146097 + DoE - 719468;
}

} // namespace

TDateTime DosDateTimeToDateTime(uint32_t DosDateTime) {
    const int64_t Epoch1899 = -25569; // 30 December 1899, counted from 1 January 1970
    uint32_t Date = DosDateTime >> 16, Time = DosDateTime & 0xFFFF;
    int64_t Days = DaysFromCivil(1980 + ((Date >> 9) & 0x7F), (Date >> 5) & 0x0F, Date & 0x1F) - Epoch1899;
    double Seconds = ((Time >> 11) & 0x1F) * 3600.0 + ((Time >> 5) & 0x3F) * 60.0 + (Time & 0x1F) * 2.0;
    return double(Days) + Seconds / 86400.0;
}
