#pragma once
// DOS date and time as stored in zip records: date in the high 16 bits, time in the low 16 bits,
// local time in 2-second steps.

#include <cstdint>
#include <ctime>
#include <string>

// False when T falls outside 1980-01-01 to 2107-12-31 (local time).
bool UnixToDosDateTime(time_t T, uint32_t& DosDateTime);
// T as a DOS date and time, or the nearest one a DOS date can say (1980-01-01 00:00:00 or
// 2107-12-31 23:59:58) when it lies outside.
uint32_t NearestDosDateTime(time_t T);
time_t DosDateTimeToUnix(uint32_t DosDateTime);
// "YYYY-MM-DD HH:MM:SS" of the stored fields, whatever they hold.
std::string DosDateTimeToText(uint32_t DosDateTime);
// Stamps the file's access and modification times; false on failure.
bool FileSetDosDate(const std::string& Path, uint32_t DosDateTime);

// Days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;
// The stored fields as a TDateTime, whatever they hold.
TDateTime DosDateTimeToDateTime(uint32_t DosDateTime);
