#pragma once

#include "link/ContentKind.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

struct DeviceIdentity;
struct VersionCatalogue;

// The rules by which the update wizard decides what a unit needs: which catalogue entry a
// database area, voice set or image set stands for, and whether the unit's content of a kind
// is current. Pure functions of the identity, the catalogue and the user's choices.

// Number of catalogue entries of a content kind (its count text as a number); 0 for firmware.
int CatalogueCount(const VersionCatalogue& catalogue, ContentKind kind);

// The catalogue's file name of a content kind at index: empty for firmware, for an index past
// the catalogue's 50 entries, and for an entry the catalogue does not fill.
QByteArray CatalogueName(const VersionCatalogue& catalogue, ContentKind kind, std::uint32_t index);

// The unit's installed entry of a content kind (dbIndex, voiceIndex, imageIndex); 0 for
// firmware.
std::uint32_t UnitIndex(const DeviceIdentity& identity, ContentKind kind);

// The version text the wizard shows after the kind's label prefix: the unit's version of the
// kind formatted "%06ld" (firmware: fwVersion).
QString VersionLabelNumber(const DeviceIdentity& identity, ContentKind kind);

// True when the unit's content of kind is current:
//  - never while a run is being resumed (resume);
//  - database, voice, image: the chosen entry is the unit's own, and the first six characters
//    of its catalogue name equal the unit's version formatted "%06d";
//  - firmware: fwVersion formatted "%04d" equals the catalogue's firmware version.
// chosen is ignored for firmware. Comparisons are exact and case-sensitive.
bool IsKindCurrent(ContentKind kind, const DeviceIdentity& identity,
                   const VersionCatalogue& catalogue, std::uint32_t chosen, bool resume);
