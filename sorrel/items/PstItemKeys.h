#pragma once
// Keys of the records' property maps. Text values are QString, dates are
// qint64 seconds since 1970-01-01 UTC. A key is present only when the PST
// object carries its source. Bodies are no keys: records never keep them
// (PstItem::loadBody reads them again).

#include <QString>

namespace PstKey {
// Shared by several kinds
inline const QString Subject = QStringLiteral("subject");

// Mail
inline const QString Sender = QStringLiteral("sender");
inline const QString SenderAddr = QStringLiteral("senderAddr");
inline const QString Recipients = QStringLiteral("recipients");
inline const QString Cc = QStringLiteral("cc");
inline const QString Bcc = QStringLiteral("bcc");
inline const QString SentDate = QStringLiteral("sentDate");
inline const QString ArrivalDate = QStringLiteral("arrivalDate");
inline const QString ReportTime = QStringLiteral("reportTime");

// Contact
inline const QString FullName = QStringLiteral("fullName");
inline const QString FirstName = QStringLiteral("firstName");
inline const QString Surname = QStringLiteral("surname");
inline const QString CompanyName = QStringLiteral("companyName");
inline const QString Department = QStringLiteral("department");
inline const QString JobTitle = QStringLiteral("jobTitle");
inline const QString OtherPhone = QStringLiteral("otherPhone");
inline const QString CarPhone = QStringLiteral("carPhone");
inline const QString CallbackPhone = QStringLiteral("callbackPhone");
inline const QString MobilePhone = QStringLiteral("mobilePhone");
inline const QString HomePhone = QStringLiteral("homePhone");
inline const QString BusinessPhone = QStringLiteral("businessPhone");
inline const QString CompanyPhone = QStringLiteral("companyPhone");
inline const QString PrimaryFax = QStringLiteral("primaryFax");
inline const QString BusinessFax = QStringLiteral("businessFax");
inline const QString HomeFax = QStringLiteral("homeFax");
inline const QString OtherAddress = QStringLiteral("otherAddress");
inline const QString BusinessAddress = QStringLiteral("businessAddress");
inline const QString HomeAddress = QStringLiteral("homeAddress");
inline const QString PrimaryEmail = QStringLiteral("primaryEmail");
inline const QString SecondaryEmail = QStringLiteral("secondaryEmail");
inline const QString TertiaryEmail = QStringLiteral("tertiaryEmail");
inline const QString BusinessPage = QStringLiteral("businessPage");
inline const QString PersonalPage = QStringLiteral("personalPage");

// Calendar
inline const QString Location = QStringLiteral("location");
inline const QString StartDate = QStringLiteral("startDate");
inline const QString EndDate = QStringLiteral("endDate");
inline const QString RecurrenceDescription = QStringLiteral("recurrenceDescription");

// Journal entry
inline const QString StartTime = QStringLiteral("startTime");
inline const QString EndTime = QStringLiteral("endTime");
inline const QString Type = QStringLiteral("type");
inline const QString Description = QStringLiteral("description");

// Sticky note
inline const QString CreateDate = QStringLiteral("createDate");
inline const QString ModifyDate = QStringLiteral("modifyDate");

// Task (plus Subject, StartDate)
inline const QString Owner = QStringLiteral("owner");
inline const QString DueDate = QStringLiteral("dueDate");
inline const QString CompletedDate = QStringLiteral("completedDate");
} // namespace PstKey
