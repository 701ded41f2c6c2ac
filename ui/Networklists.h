#pragma once

class QComboBox;
class TGPRSNetwork;
class TNetworkSettings;

// The window's country and network lists, filled from the catalogue.

// "<None>" (no value) then every country with its ID as item data; the last
// country with ID 1 is selected, otherwise nothing is. Emits no change
// signals: the caller runs its own change handling.
void FillCountryList(const TNetworkSettings &catalogue, QComboBox *comboBox);

// Nothing for countryId -1; otherwise "<None>" (no value) then the networks
// of that country (all of them for countryId 0) with the record as item
// data, the first network selected, or nothing selected when there is none.
// Emits no change signals.
void FillNetworkList(const TNetworkSettings &catalogue, QComboBox *comboBox, int countryId);

// The country ID stored with the selected item: -1 when nothing is selected,
// 0 for "<None>".
int SelectedCountryId(const QComboBox *comboBox);

// The network stored with the selected item, or null when nothing is selected
// or "<None>" is.
const TGPRSNetwork *SelectedNetwork(const QComboBox *comboBox);
