// The values a caller reads after a run, beside each other under
// HKEY_CURRENT_USER\RESULT_KEY: "Setup", the Phase code of the run as four
// hexadecimal digits, and "SetupLog", where the run's log is.
#ifndef DRIVER_RESULT_VALUE_H
#define DRIVER_RESULT_VALUE_H

#define RESULT_KEY "SOFTWARE\\Vak\\QuillsenSoftwareInstaller"

// Sets the value `name` to `text`, creating the key when needed; a null
// `text` deletes the value. Failures are ignored.
void SetResultKeyValue(const char *name, const char *text);
// "Setup" = "%04X" of `phaseCode`.
void WriteResultValue(int phaseCode);
// Deletes "Setup": a run that is killed leaves no result, so the caller never
// reads an earlier run's result as this one's.
void DeleteResultValue(void);

#endif
