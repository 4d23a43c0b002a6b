// The desktop's default application for a kind of file, as the freedesktop.org conventions
// name it: the desktop entry that `xdg-mime query default` answers, found in the data folders
// and started with its Exec line.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct DesktopCommand
{
    QString program;
    QStringList arguments;
};

// The command that opens file with the default application for mimeType, or none when there
// is no default, its entry cannot be found, or it cannot open a file by command line.
std::optional<DesktopCommand> DefaultApplicationCommand(const QString& mimeType,
                                                        const QString& file);

// Splits an Exec value into words (double quotes with \" \` \$ \\ escapes inside) and puts
// file where the field codes ask for it (%f %F %u %U); other codes are dropped and %% is a
// percent sign. An entry without a file code gets the file as its last argument.
std::optional<DesktopCommand> ExpandExecLine(const QString& exec, const QString& file);
