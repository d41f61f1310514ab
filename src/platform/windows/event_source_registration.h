#pragma once

#include <string>

// The service as a source of the event log's Application log: the key
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\NAME with EventMessageFile, the program whose
// message table holds the texts, and TypesSupported (error, warning and information), so that Event Viewer
// shows each event's text instead of "The description for Event ID ... cannot be found".
namespace vorel::windows {

// The key under HKEY_LOCAL_MACHINE.
std::string EventSourceKey(const std::string& sourceName);

// Writes the key's values (Windows-1251 path). Fails with vorel::Error carrying the system's reason.
void WriteEventSource(const std::string& sourceName, const std::string& messageFile);

// Removes the key; false when there was none. Fails with vorel::Error carrying the system's reason.
bool RemoveEventSource(const std::string& sourceName);

}  // namespace vorel::windows
