#pragma once

#include "platform/linux/audio_device.h"
#include "platform/linux/device_events.h"
#include "platform/linux/device_list.h"
#include "platform/linux/full_toc_source.h"
#include "platform/linux/media_ejector.h"

namespace noru::platform::linux_cd {

// Everything a source of optical drives offers: the list, its events, the full TOC, raw audio
// and eject.
class OpticalDrives : public DeviceList,
                      public DeviceEvents,
                      public FullTocSource,
                      public AudioDevice,
                      public MediaEjector {};

}  // namespace noru::platform::linux_cd
