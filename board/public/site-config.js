// How this copy of the page reaches quarn: "socket" (the board server runs
// quarn on this machine) or "worker" (quarn compiled to WebAssembly runs in
// the browser). The static-site build writes "worker" here.
export const engineKind = "socket"
