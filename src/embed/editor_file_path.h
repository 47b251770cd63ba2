#pragma once
// The form of a file path an editor is given on its command line and in a hand-off.

#include <windows.h>

#include <string>

#include "editors/editor_profile.h"

// How the path reaches the editor.
enum class PathRoute { CommandLine, Record };

// True when the editor cannot take path as it is by route and takes its short form instead.
bool NeedsShortPath(const EditorProfile& profile, const std::wstring& path, PathRoute route);
// True when environment-variable expansion could turn text into another path: it holds two '%'.
bool MayExpandVariables(const std::wstring& text);
// False when the editor would read every form of path we can give as another file: it expands
// %VARIABLES% and neither the path nor its short form is safe from that.
bool HasReadableForm(const EditorProfile& profile, const std::wstring& path);
// path, or for an editor that needs it, its short (8.3) form when the volume has one and it fits;
// otherwise path as it is, with a log line that says why. Empty (and logged) when the editor would
// expand variables in every form: such a path is never handed over.
std::wstring EditorFilePath(const EditorProfile& profile, const std::wstring& path, PathRoute route);

// The forms of one file path for one editor, through one load: the volume is asked for its short
// form at most once, whichever of the load's checks, hand-off and launch need it.
class EditorFileForms {
   public:
    EditorFileForms(const EditorProfile& profile, std::wstring path);
    const EditorProfile& profile() const { return *profile_; }
    const std::wstring& path() const { return path_; }
    // As HasReadableForm and EditorFilePath above.
    bool HasReadableForm();
    std::wstring For(PathRoute route);

   private:
    const std::wstring& ShortForm();  // empty when the volume gives none
    std::wstring UnexpandableShortForm(size_t capacity);
    std::wstring FormWithoutVariables(PathRoute route);

    const EditorProfile* profile_;
    std::wstring path_;
    bool shortFormAsked_ = false;
    std::wstring shortForm_;
    DWORD shortFormError_ = ERROR_SUCCESS;
};

// True when nothing exists at path (also for a name the file system rejects). Other failures
// (no access, a busy file) leave the answer to the editor.
bool FileIsMissing(const std::wstring& path);
