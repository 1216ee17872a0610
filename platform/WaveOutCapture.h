// The capture back end of wave output, for tests: SORVANE_AUDIO=capture:DIR appends each
// device's played bytes raw to DIR/wave-N.pcm (N counts opens from 0). A written buffer
// completes at once, unless the test drives completion by hand.
// Threads: any.
#pragma once

#include "WaveOut.h"

// With manual completion, written buffers wait until WaveOutCaptureComplete, and
// WaveOutCapturePartial counts part of the next one as played.
SVP_API void WaveOutCaptureManual(bool manual);
SVP_API HWAVEOUT WaveOutCaptureDevice(int openIndex);  // null when closed or never opened
SVP_API bool WaveOutCaptureComplete(HWAVEOUT device);
SVP_API void WaveOutCapturePartial(HWAVEOUT device, DWORD bytes);
SVP_API int WaveOutCaptureQueued(HWAVEOUT device);
