// HwStartIO: the one entry through which the video port delivers every request.
#include "miniport/kivport.h"

BOOLEAN WINAPI ZkStartIO(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET Packet) {
    auto *ext = static_cast<ZK_DEVICE_EXTENSION *>(HwDeviceExtension);
    STATUS_BLOCK *sb = Packet->StatusBlock;
    VP_STATUS status = ERROR_INVALID_FUNCTION;
    switch (Packet->IoControlCode) {
    case IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES:
        status = ZkQueryNumAvailableModes(ext, Packet->OutputBuffer, Packet->OutputBufferLength, &sb->Information);
        break;
    case IOCTL_VIDEO_QUERY_AVAIL_MODES:
        status = ZkQueryAvailableModes(ext, Packet->OutputBuffer, Packet->OutputBufferLength, &sb->Information);
        break;
    case IOCTL_VIDEO_QUERY_CURRENT_MODE:
        status = ZkQueryCurrentMode(ext, Packet->OutputBuffer, Packet->OutputBufferLength, &sb->Information);
        break;
    default:
        status = ERROR_INVALID_FUNCTION;
        break;
    }
    sb->Status = ULONG(status);
    return TRUE;
}
