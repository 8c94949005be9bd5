// Machine identification used to choose among a value's variants. The setup
// program fills only the two system-language fields; the rest stay zero.
#ifndef BASE_MACHINE_INFO_H
#define BASE_MACHINE_INFO_H

#include <stdint.h>

struct MachineInfo {
    uint16_t biosId;                 // first character in the high byte
    uint8_t biosRevision;
    uint16_t systemPrimaryLanguage;  // systemLanguageId & 0x3FF
    uint16_t osPrimaryLanguage;
    uint16_t systemLanguageId;
    uint16_t osLanguageId;
    char familyName[128];
    char typeModel[64];
    char osId[64];
    char agent[64];                  // read only by the "AGENT" placeholder
};

#endif
