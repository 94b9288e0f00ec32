#pragma once
// The certificate a passing calibration test makes of meter 97-0412: offsets 17, -12 and -4,
// readings 25.93, 19.84, 16.07 and 10.81 on the four reference resistors.
#include "setup/CalRecord.h"

namespace kelotari {

inline CalRecord sampleCertificate() {
    CalRecord r;
    r.CertNumber = "97-0412";
    r.slot(1) = 17;
    r.slot(2) = -12;
    r.slot(3) = -4;
    r.slot(4) = 25.93f;
    r.slot(5) = 19.84f;
    r.slot(6) = 16.07f;
    r.slot(7) = 10.81f;
    return r;
}

} // namespace kelotari
