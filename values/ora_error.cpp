// The texts of the Oracle error codes the value decoders return.
#include "kelvo/values.h"

const char *ora_message(int code)
{
    switch (code) {
    case 1722: return "invalid number";
    case 1841: return "(full) year must be between -4713 and +9999, and not be 0";
    case 1843: return "not a valid month";
    case 1847: return "day of month must be between 1 and last day of month";
    case 1850: return "hour must be between 0 and 23";
    case 1851: return "minutes must be between 0 and 59";
    case 1852: return "seconds must be between 0 and 59";
    case 1858: return "a non-numeric character was found where a numeric was expected";
    case 1867: return "the interval is invalid";
    case 1874: return "time zone hour must be between -15 and 15";
    case 1880: return "the fractional seconds must be between 0 and 999999999";
    case 1460: return "unimplemented or unreasonable conversion requested";
    default: return "invalid value";
    }
}
