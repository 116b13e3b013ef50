' Example user script for serrak: called with the full path of each finished .kom file just
' before it is renamed into .dat. Appends one summary line per file to summary.txt beside the
' program: the file name, its size in bytes and its number of lines.
Sub Run(path)
  Dim fso, f, text, lines, folder
  Set fso = CreateObject("Scripting.FileSystemObject")
  Set f = fso.OpenTextFile(path, 1)
  text = f.ReadAll
  f.Close
  lines = UBound(Split(text, vbCrLf))
  folder = fso.GetParentFolderName(fso.GetParentFolderName(path))
  Set f = fso.OpenTextFile(folder & "/summary.txt", 8, True)
  f.WriteLine fso.GetFileName(path) & " " & Len(text) & " bytes " & lines & " lines"
  f.Close
End Sub
