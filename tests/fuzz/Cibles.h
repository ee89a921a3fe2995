#pragma once

// The bodies of the fuzz targets, one per reader. Each libFuzzer program calls one of them;
// the normal suite replays the seed corpora and every kept finding through the same functions.
// Each returns 0; a broken invariant aborts.

#include <cstddef>
#include <cstdint>

int fuzzParadox(const uint8_t *octets, size_t taille);
int fuzzIni(const uint8_t *octets, size_t taille);
int fuzzRapport(const uint8_t *octets, size_t taille);
int fuzzListeFtp(const uint8_t *octets, size_t taille);
int fuzzXml(const uint8_t *octets, size_t taille);
