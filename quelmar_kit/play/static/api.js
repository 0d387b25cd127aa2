"use strict";
// Talking to the server, for every page: a JSON request whose failure,
// however it happens, becomes an Error with a sentence a person can read.
window.quelmarApi = {
  async request(method, path, body, type) {
    const options = { method, headers: {} };
    if (body !== undefined) {
      options.body = type ? body : JSON.stringify(body);
      options.headers["Content-Type"] = type || "application/json";
    }
    let answer;
    try {
      answer = await fetch(path, options);
    } catch (e) {
      throw new Error("the server does not answer: is it still running?");
    }
    const value = await answer.json().catch(() => ({ error: `answer ${answer.status} is not JSON` }));
    if (!answer.ok) throw new Error(value.error || `refused (${answer.status})`);
    return value;
  },
};
