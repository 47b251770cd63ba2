#include "editors/editor_profile.h"

#include "common/text.h"

namespace {

const EditorProfile* const kKnownProfiles[] = {
    &kNotepad3Profile, &kNotepad4Profile, &kNotepadPPProfile, &kEverEditProfile, &kEmEditorProfile,
};

}  // namespace

const EditorProfile& DetectEditorProfile(const std::wstring& editorPath) {
    const std::wstring name = LowerCased(FileNameOf(editorPath));
    for (const EditorProfile* profile : kKnownProfiles) {
        if (name == profile->fileName) return *profile;
    }
    return kOtherEditorProfile;
}

const EditorProfile& ProfileOf(EditorKind kind) {
    for (const EditorProfile* profile : kKnownProfiles) {
        if (profile->kind == kind) return *profile;
    }
    return kOtherEditorProfile;
}

EditorKind DetectEditorKind(const std::wstring& editorPath) {
    return DetectEditorProfile(editorPath).kind;
}
