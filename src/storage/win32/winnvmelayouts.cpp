// The NVMe request layouts (storage/w10nvmefun.h, storage/winnvmeirstfun.h) against the system
// headers, for both word sizes. The MinGW headers carry no STORAGE_PROTOCOL_COMMAND: its offsets
// stand as written, with the 32-bit fields that make them width-independent. Nothing here runs.
#include <windows.h>

#include <winioctl.h>

#include <cstddef>
#include <ntddscsi.h>

#include "storage/commandtypes.h"
#include "storage/w10nvmefun.h"
#include "storage/winnvmeirstfun.h"

namespace tvd {
namespace {

#define TVD_AT(type, field, offset)                                                                \
    static_assert(offsetof(type, field) == (offset), #type "." #field)
#define TVD_SIZE(type, size) static_assert(sizeof(type) == (size), "sizeof " #type)

static_assert(IOCTL_STORAGE_PROTOCOL_COMMAND == ioctl::kStorageProtocolCommand);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == ioctl::kStorageQueryProperty);
static_assert(IOCTL_SCSI_MINIPORT == ioctl::kScsiMiniport);

// Protocol-specific property query and its answer.
TVD_AT(STORAGE_PROPERTY_QUERY, PropertyId, w10nvme::protoquery::kPropertyId);
TVD_AT(STORAGE_PROPERTY_QUERY, QueryType, w10nvme::protoquery::kQueryType);
TVD_AT(STORAGE_PROPERTY_QUERY, AdditionalParameters, w10nvme::protoquery::kSpecific);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) +
                  sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) + 4 ==
              w10nvme::protoquery::kHeaderSize);
static_assert(StorageAdapterProtocolSpecificProperty == w10nvme::protoquery::kAdapterProperty);
static_assert(StorageDeviceProtocolSpecificProperty == w10nvme::protoquery::kDeviceProperty);
static_assert(PropertyStandardQuery == w10nvme::protoquery::kStandardQuery);
static_assert(ProtocolTypeNvme == w10nvme::protocmd::kProtocolNvme);
static_assert(NVMeDataTypeIdentify == w10nvme::protodata::kDataTypeIdentify);
static_assert(NVMeDataTypeLogPage == w10nvme::protodata::kDataTypeLogPage);

using SpecificData = STORAGE_PROTOCOL_SPECIFIC_DATA;
TVD_AT(SpecificData, ProtocolType, w10nvme::protodata::kProtocolType);
TVD_AT(SpecificData, DataType, w10nvme::protodata::kDataType);
TVD_AT(SpecificData, ProtocolDataRequestValue, w10nvme::protodata::kRequestValue);
TVD_AT(SpecificData, ProtocolDataRequestSubValue, w10nvme::protodata::kRequestSubValue);
TVD_AT(SpecificData, ProtocolDataOffset, w10nvme::protodata::kDataOffset);
TVD_AT(SpecificData, ProtocolDataLength, w10nvme::protodata::kDataLength);
TVD_AT(SpecificData, FixedProtocolReturnData, w10nvme::protodata::kFixedReturnData);
TVD_AT(SpecificData, ProtocolDataRequestSubValue2, w10nvme::protodata::kRequestSubValue2);
TVD_AT(SpecificData, ProtocolDataRequestSubValue3, w10nvme::protodata::kRequestSubValue3);
TVD_AT(SpecificData, ProtocolDataRequestSubValue4, w10nvme::protodata::kRequestSubValue4);
TVD_SIZE(SpecificData, w10nvme::protodata::kSize);

using DataDescriptor = STORAGE_PROTOCOL_DATA_DESCRIPTOR;
TVD_AT(DataDescriptor, Version, w10nvme::protodesc::kVersion);
TVD_AT(DataDescriptor, Size, w10nvme::protodesc::kSize);
TVD_AT(DataDescriptor, ProtocolSpecificData, w10nvme::protodesc::kSpecific);
TVD_SIZE(DataDescriptor, w10nvme::protodesc::kDescriptorSize);

// The miniport header of the RST pass-through.
TVD_AT(SRB_IO_CONTROL, HeaderLength, irstnvme::srbio::kHeaderLength);
TVD_AT(SRB_IO_CONTROL, Signature, irstnvme::srbio::kSignature);
TVD_AT(SRB_IO_CONTROL, Timeout, irstnvme::srbio::kTimeout);
TVD_AT(SRB_IO_CONTROL, ControlCode, irstnvme::srbio::kControlCode);
TVD_AT(SRB_IO_CONTROL, ReturnCode, irstnvme::srbio::kReturnCode);
TVD_AT(SRB_IO_CONTROL, Length, irstnvme::srbio::kLength);
TVD_SIZE(SRB_IO_CONTROL, irstnvme::srbio::kSize);
static_assert(sizeof(SRB_IO_CONTROL::Signature) == irstnvme::srbio::kSignatureSize);

} // namespace
} // namespace tvd
