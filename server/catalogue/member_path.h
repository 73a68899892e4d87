// Paths of ZIP members: the archive's path, "|/", and the member's name as the archive lists
// it (for example /srv/pics/trip.zip|/day1/001.jpg). A Linux file name may contain "|", so
// the text alone does not decide: a path is a member path only when the text before its
// first "|/" ends in ".zip" (in any letter case) and names a regular file.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view kMemberSeparator = "|/";

std::string MakeMemberPath(std::string_view archive, std::string_view member);

// Cuts at the first "|/"; false when there is none. The member may come out empty.
bool SplitMemberPath(std::string_view path, std::string* archive, std::string* member);

// The rule above; asks the file system whether the archive part is a regular file.
bool IsMemberPath(std::string_view path);
