#include <brim/text.h>

unsigned int CBrimNumber::BYTE2UINT(const unsigned char* p) {
    unsigned int value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) + p[i];
    return value;
}

unsigned long long CBrimNumber::BYTE2ULONGLONG(const unsigned char* p) {
    unsigned long long value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) + p[i];
    return value;
}
