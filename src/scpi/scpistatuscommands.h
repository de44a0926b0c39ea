#pragma once

#include "scpi/scpicommandtable.h"

namespace veruziva {

// The commands every session answers on its own status, beside the instrument's:
//   *CLS, *ESE <0-255>, *ESE?, *ESR?, *SRE <0-255>, *SRE?, *STB?, *OPC, *OPC?, *WAI,
//   SYSTem:ERRor[:NEXT]?, SYSTem:ERRor:COUNt?, SYSTem:VERSion?
// *OPC? answers 1 and *WAI does nothing: commands run one after the other, each done before the
// next. A register's value is rounded to a whole number; beyond 0-255 it is -222, not a number
// -104.
const ScpiCommandTable& ScpiStatusCommands();

}  // namespace veruziva
