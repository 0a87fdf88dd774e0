// Property ids, types and property-set GUIDs used with PstWriter.
// Ids are the 16-bit MAPI property ids (the tag without its type).
#pragma once

#include <QUuid>

#include <cstdint>

namespace pstw {

namespace pt {
constexpr uint16_t Short = 0x0002, Long = 0x0003, Float = 0x0004, Double = 0x0005, Currency = 0x0006,
                   AppTime = 0x0007, Error = 0x000A, Boolean = 0x000B, Object = 0x000D, Int64 = 0x0014,
                   String8 = 0x001E, Unicode = 0x001F, SysTime = 0x0040, Clsid = 0x0048, Binary = 0x0102;
}

namespace tag {
constexpr uint16_t
    Importance = 0x0017, MessageClass = 0x001A, Priority = 0x0026, Sensitivity = 0x0036, Subject = 0x0037,
    ClientSubmitTime = 0x0039, SentRepresentingSearchKey = 0x003B, SentRepresentingName = 0x0042, ReportTime = 0x0032,
    SentRepresentingAddrType = 0x0064, SentRepresentingEmailAddress = 0x0065, ConversationTopic = 0x0070,
    TransportMessageHeaders = 0x007D, SenderName = 0x0C1A, SenderSearchKey = 0x0C1D, SenderAddrType = 0x0C1E, SenderEmailAddress = 0x0C1F,
    RecipientType = 0x0C15, DisplayBcc = 0x0E02, DisplayCc = 0x0E03, DisplayTo = 0x0E04,
    MessageDeliveryTime = 0x0E06, MessageFlags = 0x0E07, MessageSize = 0x0E08, RtfInSync = 0x0E1F,
    AttachSize = 0x0E20, RecordKey = 0x0FF9, ObjectType = 0x0FFE, EntryId = 0x0FFF,
    Body = 0x1000, RtfCompressed = 0x1009, Html = 0x1013, InternetMessageId = 0x1035,
    DisplayName = 0x3001, AddressType = 0x3002, EmailAddress = 0x3003, CreationTime = 0x3007,
    LastModificationTime = 0x3008, SearchKey = 0x300B, DisplayType = 0x3900,
    ContentCount = 0x3602, ContentUnreadCount = 0x3603, Subfolders = 0x360A, ContainerClass = 0x3613,
    AssocContentCount = 0x3617, AttrHidden = 0x10F4,
    AttachDataBinary = 0x3701, AttachDataObject = 0x3701, AttachExtension = 0x3703, AttachFilename = 0x3704,
    AttachMethod = 0x3705, AttachLongFilename = 0x3707, RenderingPosition = 0x370B, AttachMimeTag = 0x370E,
    AttachContentId = 0x3712, AttachFlags = 0x3714, AttachmentHidden = 0x7FFE,
    InternetCodepage = 0x3FDE, MessageCodepage = 0x3FFD,
    // contacts
    GivenName = 0x3A06, Surname = 0x3A11, CompanyName = 0x3A16, Title = 0x3A17, DepartmentName = 0x3A18,
    BusinessTelephoneNumber = 0x3A08, HomeTelephoneNumber = 0x3A09, MobileTelephoneNumber = 0x3A1C,
    CarTelephoneNumber = 0x3A1E, OtherTelephoneNumber = 0x3A1F, PrimaryFaxNumber = 0x3A23,
    BusinessFaxNumber = 0x3A24, HomeFaxNumber = 0x3A25, CallbackTelephoneNumber = 0x3A02,
    CompanyMainTelephoneNumber = 0x3A57, BusinessHomePage = 0x3A51, PersonalHomePage = 0x3A50;
}

// Property sets of named properties.
namespace pset {
inline QUuid mapi() { return QUuid(0x00020328, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid publicStrings() { return QUuid(0x00020329, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid internetHeaders() { return QUuid(0x00020386, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid appointment() { return QUuid(0x00062002, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid task() { return QUuid(0x00062003, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid address() { return QUuid(0x00062004, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid common() { return QUuid(0x00062008, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid log() { return QUuid(0x0006200A, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid note() { return QUuid(0x0006200E, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46); }
inline QUuid meeting() { return QUuid(0x6ED8DA90, 0x450B, 0x101B, 0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05); }
}

// Long ids (LIDs) of the named properties the builders write.
namespace lid {
constexpr uint32_t
    // PSETID_Task
    TaskStatus = 0x8101, PercentComplete = 0x8102, TaskStartDate = 0x8104, TaskDueDate = 0x8105,
    TaskDateCompleted = 0x810F, TaskActualEffort = 0x8110, TaskEstimatedEffort = 0x8111,
    TaskComplete = 0x811C, TaskOwner = 0x811F,
    // PSETID_Log
    LogType = 0x8700, LogStart = 0x8706, LogDuration = 0x8707, LogEnd = 0x8708, LogTypeDesc = 0x8712,
    // PSETID_Appointment
    Location = 0x8208, BusyStatus = 0x8205, AppointmentStartWhole = 0x820D, AppointmentEndWhole = 0x820E,
    AppointmentDuration = 0x8213, AppointmentSubType = 0x8215, AppointmentRecur = 0x8216,
    Recurring = 0x8223, RecurrenceType = 0x8231, RecurrencePattern = 0x8232,
    // PSETID_Address
    FileUnder = 0x8005, HomeAddress = 0x801A, WorkAddress = 0x801B, OtherAddress = 0x801C,
    Email1DisplayName = 0x8080, Email1AddressType = 0x8082, Email1EmailAddress = 0x8083,
    Email2EmailAddress = 0x8093, Email3EmailAddress = 0x80A3,
    // PSETID_Note
    NoteColor = 0x8B00, NoteWidth = 0x8B02, NoteHeight = 0x8B03,
    // PSETID_Common
    ReminderSet = 0x8503, CommonStart = 0x8516, CommonEnd = 0x8517;
}

} // namespace pstw
