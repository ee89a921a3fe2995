#include "Cibles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *octets, size_t taille)
{
    return fuzzXml(octets, taille);
}
